#include "bench_database.h"

#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>

#include <filesystem>

#include "hostlib/db/data_module.h"
#include "core/db/database_url.h"

namespace bench {

namespace {

void Fill(const std::string& url) {
    hostlib::TdtmDBGeral module(nullptr, "dtmBench");
    module.Open(url);
    module.ExecuteScript(hostlib::DemoDataScript());
    module.ExecuteScript(
        "INSERT INTO CTRLNUMENF VALUES ('CTRLB', 'Benchmark', '2025-01-01 00:00:00');\n"
        "INSERT INTO CTRLNUMENF VALUES ('CTRLF', 'Piso', '2025-01-01 00:00:00');\n"
        "INSERT INTO SERIENF VALUES ('01', '110042490114', NULL, 'B', 'Benchmark', 'CTRLB', 'S', 'N', 'N');\n"
        "INSERT INTO NOTAFISCAL VALUES ('CTRLB', 1, '2024-12-31 10:00:00');\n");
}

}  // namespace

BenchDatabase FreshSqlite(const std::string& folder, const std::string& file) {
    const auto path = std::filesystem::path(folder) / file;
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path.string() + suffix);
    BenchDatabase database{"SQLite", "sqlite:" + path.string()};
    Fill(database.url);
    return database;
}

BenchDatabase FreshPostgres(const std::string& server_url, const std::string& name) {
    {
        soci::session admin(soci::postgresql, hostlib::ParseDatabaseUrl(server_url)->PostgresKeywords());
        admin << "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)";
        admin << "CREATE DATABASE " + name;
    }
    BenchDatabase database{"PostgreSQL", server_url.substr(0, server_url.rfind('/') + 1) + name};
    Fill(database.url);
    return database;
}

}  // namespace bench
