// vor17000-bench: the screen's latencies, the server's throughput and how they grow, on
// SQLite and PostgreSQL, each figure beside its floor measured in the same run.
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <thread>

#include "bench_database.h"
#include "measure.h"
#include "process_memory.h"
#include "screen_paths.h"
#include "server_load.h"

int main(int argc, char** argv) {
    std::string postgres_url;
    bool quick = false;
    bool growth_only = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--postgres") == 0 && i + 1 < argc) {
            postgres_url = argv[++i];
        } else if (std::strcmp(argv[i], "--quick") == 0) {
            quick = true;
        } else if (std::strcmp(argv[i], "--growth") == 0) {
            growth_only = true;
        } else {
            std::cerr
                << "uso: vor17000-bench [--postgres postgresql://usuario@host:porta/banco] [--quick | --growth]\n";
            return 2;
        }
    }
    // A thousand idle connections take two thousand descriptors in this one process.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    const auto folder = std::filesystem::temp_directory_path() / ("vor17000_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);

    std::vector<bench::BenchDatabase> databases;
    if (!growth_only) {
        databases.push_back(bench::FreshSqlite(folder.string(), "bench.db"));
        if (!postgres_url.empty()) databases.push_back(bench::FreshPostgres(postgres_url, "vor17000_bench"));
    }

    bench::LoadOptions load;
    if (quick) {
        load.seconds_per_run = 0.3;
        load.idle_connections = 200;
    }
    const int iterations = quick ? 20 : 200;
    std::vector<bench::Row> rows;
    for (const auto& database : databases) {
        std::cerr << "vor17000-bench: " << database.name << "..." << std::endl;
        bench::MeasureScreenPaths(database, iterations, rows);
        bench::MeasureServerLoad(database, load, rows);
        bench::MeasureMemory(database, load.idle_connections, rows);
    }
    std::vector<bench::BenchDatabase> growth;
    growth.push_back(bench::FreshSqlite(folder.string(), "growth.db"));
    if (!postgres_url.empty()) growth.push_back(bench::FreshPostgres(postgres_url, "vor17000_growth"));
    if (!quick || growth_only) {
        for (const auto& database : growth) bench::MeasureGrowth(database, rows);
    }
    std::cout << "Machine: " << std::thread::hardware_concurrency() << " cores; "
              << (growth_only ? "growth only"
                  : quick     ? "quick run"
                              : "full run")
              << ".\n";
    bench::PrintTable(rows);
    std::filesystem::remove_all(folder);
    return 0;
}
