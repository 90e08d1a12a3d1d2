#include "testkit/test_database.h"

#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include "core/db/database_url.h"

namespace testing_support {

namespace {

std::string ProgramName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    std::string clean;
    for (char c : name) clean += std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::tolower(c)) : '_';
    return clean;
}

std::string WithDatabase(const std::string& server_url, const std::string& database) {
    const auto slash = server_url.rfind('/');
    return server_url.substr(0, slash + 1) + database;
}

std::string CreateProgramDatabase(TextEncoding encoding) {
    const std::string server = PostgresServerUrl();
    std::string database = "vor17000_" + ProgramName();
    std::string options;
    if (encoding == TextEncoding::AnyBytes) {
        database += "_bytes";
        options = " ENCODING 'SQL_ASCII' TEMPLATE template0 LC_COLLATE 'C' LC_CTYPE 'C'";
    }
    soci::session admin(soci::postgresql, hostlib::ParseDatabaseUrl(server)->PostgresKeywords());
    admin << "DROP DATABASE IF EXISTS " + database + " WITH (FORCE)";
    admin << "CREATE DATABASE " + database + options;
    return WithDatabase(server, database);
}

// This program's own database on the cluster, made afresh once per process.
const std::string& ProgramDatabaseUrl(TextEncoding encoding) {
    static const std::string utf8 = CreateProgramDatabase(TextEncoding::Utf8);
    if (encoding == TextEncoding::Utf8) return utf8;
    static const std::string any_bytes = CreateProgramDatabase(TextEncoding::AnyBytes);
    return any_bytes;
}

const char* const kTables[] = {"HISTDTEMISSAO", "NOTAFISCAL",   "SERIENF",    "CTRLNUMENF",
                               "LOCALEMISSAO",  "INSCRMUNICIP", "INSCRESTAD", "EMPRESA"};

}  // namespace

std::string PostgresServerUrl() {
    if (const char* env = std::getenv("VOR17000_TEST_PG"); env != nullptr && *env != '\0') return env;
    std::ifstream state(PG_STATE_FILE);
    std::string line;
    while (std::getline(state, line)) {
        if (line.rfind("VOR17000_TEST_PG=", 0) == 0) return line.substr(17);
    }
    throw std::runtime_error("no PostgreSQL test cluster: run the tests through ctest or scripts/test.sh");
}

TestDatabase::TestDatabase(Backend backend, TextEncoding encoding) : backend_(backend) {
    if (backend == Backend::SQLite) {
        static std::atomic<int> counter{0};
        file_ = std::filesystem::temp_directory_path() /
                ("vor17000_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + ".db");
        std::filesystem::remove(file_);
        url_ = "sqlite:" + file_.string();
    } else {
        url_ = ProgramDatabaseUrl(encoding);
    }
    module_ = std::make_unique<hostlib::TdtmDBGeral>(nullptr, "dtmTeste");
    module_->Open(url_);
    if (backend == Backend::PostgreSQL) {
        DropTables();
        module_->EnsureSchema();
    }
}

void TestDatabase::DropTables() {
    for (const char* table : kTables) Execute(std::string("DROP TABLE IF EXISTS ") + table);
}

TestDatabase::~TestDatabase() {
    module_.reset();
    if (!read_only_folder_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(read_only_folder_, ec);
    }
    if (!file_.empty()) {
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
            std::error_code ec;
            std::filesystem::remove(file_.string() + suffix, ec);
        }
    }
}

void TestDatabase::Execute(const std::string& sql) { module_->Session() << sql; }

void TestDatabase::LoadDemo() { module_->ExecuteScript(hostlib::DemoDataScript()); }

std::string TestDatabase::TextOfBytes(const std::string& bytes) const {
    static const char kHex[] = "0123456789ABCDEF";
    std::string literal = backend_ == Backend::SQLite ? "CAST(X'" : "E'";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (backend_ == Backend::PostgreSQL) literal += "\\x";
        literal += kHex[byte >> 4];
        literal += kHex[byte & 0xF];
    }
    return literal + (backend_ == Backend::SQLite ? "' AS TEXT)" : "'");
}

void TestDatabase::HoldRowLock(soci::session& other, const std::string& control) const {
    if (backend_ == Backend::SQLite) {
        other << "BEGIN IMMEDIATE";
    } else {
        other << "BEGIN";
        other << "SELECT CDCTRLNUMENF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + control + "' FOR UPDATE";
    }
}

void TestDatabase::SetReadOnly(bool read_only) {
    if (backend_ == Backend::PostgreSQL) {
        Execute("ALTER DATABASE " + url_.substr(url_.rfind('/') + 1) + " SET default_transaction_read_only = " +
                (read_only ? "on" : "off"));
        return;
    }
    namespace fs = std::filesystem;
    if (read_only_folder_.empty()) {
        // A folder the unprivileged server may use for the database's journal files.
        read_only_folder_ = file_.string() + ".somente_leitura";
        fs::create_directories(read_only_folder_);
        fs::permissions(read_only_folder_, fs::perms::all);
        const fs::path copy = read_only_folder_ / "ro.db";
        QueryText("PRAGMA wal_checkpoint(TRUNCATE)");  // the whole database in its file
        fs::copy_file(file_, copy, fs::copy_options::overwrite_existing);
        url_ = "sqlite:" + copy.string();
    }
    fs::permissions(read_only_folder_ / "ro.db", read_only ? fs::perms::owner_read | fs::perms::group_read |
                                                                 fs::perms::others_read
                                                           : fs::perms::all);
}

ProcessSettings TestDatabase::RightsBindingServer() const {
    // Root writes any file: on SQLite only an unprivileged server feels the file's mode.
    return ProcessSettings{.as_unprivileged = backend_ == Backend::SQLite};
}

void TestDatabase::RefuseHistoryFor(const std::string& code) {
    if (backend_ == Backend::SQLite) {
        Execute("CREATE TRIGGER HISTORICO_RECUSADO BEFORE INSERT ON HISTDTEMISSAO WHEN NEW.CDCHAVE = '" + code +
                "' BEGIN SELECT RAISE(ABORT, 'histórico recusado'); END");
    } else {
        Execute("CREATE OR REPLACE FUNCTION HISTORICO_RECUSADO() RETURNS trigger AS $$ BEGIN "
                "IF NEW.CDCHAVE = '" + code + "' THEN RAISE EXCEPTION 'histórico recusado'; END IF; "
                "RETURN NEW; END $$ LANGUAGE plpgsql");
        Execute("CREATE TRIGGER HISTORICO_RECUSADO BEFORE INSERT ON HISTDTEMISSAO "
                "FOR EACH ROW EXECUTE FUNCTION HISTORICO_RECUSADO()");
    }
}

void TestDatabase::SetNextHistoryNumber(long long next) {
    if (backend_ == Backend::PostgreSQL) {
        QueryText("SELECT setval(pg_get_serial_sequence('histdtemissao', 'nrhistorico'), " + std::to_string(next - 1) +
                  ")");
    } else {
        // SQLite numbers the next row after the highest there is.
        Execute("INSERT INTO HISTDTEMISSAO (NRHISTORICO, NMTABELA, CDCHAVE, DTANTERIOR, DTNOVA, NMCLIENTE, "
                "NMUSUARIO, DSORIGEM, DTREGISTRO) VALUES (" + std::to_string(next - 1) + ", 'CTRLNUMENF', 'CTRL00', "
                "NULL, '2024-01-01 00:00:00', 'carga', 'carga', 'carga', '2024-01-01 00:00:00')");
    }
}

namespace {

std::optional<std::string> ColumnText(const soci::row& row, std::size_t c) {
    if (row.get_indicator(c) == soci::i_null) return std::nullopt;
    switch (row.get_properties(c).get_data_type()) {
        case soci::dt_string:
            return row.get<std::string>(c);
        case soci::dt_integer:
            return std::to_string(row.get<int>(c));
        case soci::dt_long_long:
            return std::to_string(row.get<long long>(c));
        case soci::dt_date: {
            const std::tm tm = row.get<std::tm>(c);
            char buffer[32];
            std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &tm);
            return std::string(buffer);
        }
        default:
            return std::to_string(row.get<double>(c));
    }
}

}  // namespace

std::optional<std::string> TestDatabase::QueryText(const std::string& sql) {
    soci::rowset<soci::row> rows = module_->Session().prepare << sql;
    for (const soci::row& row : rows) return ColumnText(row, 0);
    return std::nullopt;
}

std::vector<std::vector<std::optional<std::string>>> TestDatabase::QueryRows(const std::string& sql) {
    std::vector<std::vector<std::optional<std::string>>> out;
    soci::rowset<soci::row> rows = module_->Session().prepare << sql;
    for (const soci::row& row : rows) {
        std::vector<std::optional<std::string>> values;
        for (std::size_t c = 0; c < row.size(); ++c) values.push_back(ColumnText(row, c));
        out.push_back(std::move(values));
    }
    return out;
}

}  // namespace testing_support
