#include "server_load.h"

#include <soci/soci.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>

#include "core/datetime.h"
#include "hostlib/db/data_module.h"
#include "testkit/raw_http.h"
#include "testkit/server_process.h"

namespace bench {

namespace {

using testing_support::ProcessSettings;
using testing_support::RawHttpConnection;
using testing_support::RpcPost;
using testing_support::ServerProcess;

struct LoadResult {
    double requests_per_second = 0;
    Samples latency;
    int failures = 0;
    double server_cpu_us = 0;  // the server's CPU time per request
};

// The request `sequence` of client `client`, as bytes.
using RequestOf = std::function<std::string(int client, long sequence)>;

// `clients` keep-alive connections, each sending its requests back to back for `seconds`,
// with the server's CPU time over the run.
// Whether an error answer counts as a failed call: the floor's call is answered with one.
enum class ErrorAnswer { Fails, Expected };

LoadResult RunLoad(const ServerProcess& server, int clients, const RequestOf& request_of, double seconds,
                   ErrorAnswer error_answer = ErrorAnswer::Fails) {
    std::vector<Samples> per_client(static_cast<std::size_t>(clients));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    const double cpu_before = server.CpuSeconds();
    const auto start = Clock::now();
    const auto stop = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            RawHttpConnection connection(server.Port());
            auto& samples = per_client[static_cast<std::size_t>(c)].us;
            for (long sequence = 0; Clock::now() < stop; ++sequence) {
                const std::string request = request_of(c, sequence);
                const auto sent = Clock::now();
                const auto response = connection.Exchange(request, 10000);
                if (response.status != 200 ||
                    (error_answer == ErrorAnswer::Fails && response.body.find("\"error\"") != std::string::npos)) {
                    ++failures;
                }
                samples.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
            }
        });
    }
    for (auto& t : threads) t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    LoadResult result;
    for (auto& s : per_client) result.latency.us.insert(result.latency.us.end(), s.us.begin(), s.us.end());
    result.requests_per_second = static_cast<double>(result.latency.us.size()) / elapsed;
    result.failures = failures;
    if (!result.latency.us.empty()) {
        result.server_cpu_us = (server.CpuSeconds() - cpu_before) * 1e6 / static_cast<double>(result.latency.us.size());
    }
    return result;
}

RequestOf Fixed(const std::string& body) {
    return [request = RpcPost(body)](int, long) { return request; };
}

// Every store a date that no other request of the run stores, so that every commit writes.
RequestOf ChangingStores(const char* method, const char* code) {
    return [method, code](int client, long sequence) {
        static std::atomic<long> run{0};
        const long unique = run.fetch_add(1);
        const hostlib::TDateTime date = hostlib::EncodeDate(2030, 1, 1) + static_cast<double>(unique) / 86'400.0;
        (void)client;
        (void)sequence;
        return RpcPost(std::string(R"({"jsonrpc":"2.0","id":1,"method":")") + method + R"(","params":[")" +
                       hostlib::DateTimeToIso(date) + R"(",")" + code + R"("]})");
    };
}

enum class StoreCheck { None, WhatItReplaces };

// Stores to a code of each connection's own, each a new date; with the check, each says the
// date it replaces (the connection's previous store) and asks for the invoice check by time,
// as the screen does.
// Connection c uses code `prefix` + (first + c).
RequestOf OwnCodeStores(const char* method, const char* prefix, int first, int clients, StoreCheck check) {
    auto previous = std::make_shared<std::vector<std::string>>(static_cast<std::size_t>(clients));
    return [=](int client, long sequence) {
        const hostlib::TDateTime date = hostlib::EncodeDate(2030, 1, 1) + static_cast<double>(sequence) / 86'400.0;
        const std::string code = prefix + std::to_string(first + client);
        std::string params = R"([")" + hostlib::DateTimeToIso(date) + R"(",")" + code + '"';
        std::string& seen = (*previous)[static_cast<std::size_t>(client)];
        if (check == StoreCheck::WhatItReplaces) {
            params += R"(,{"anterior":)" + (seen.empty() ? std::string("null") : '"' + seen + '"') + R"(,"notas":"hora")";
            if (std::string(method) == "UpDtLocal") params += R"(,"controle":"CTRLB")";
            params += "}";
        }
        seen = hostlib::DateTimeToIso(date);
        return RpcPost(std::string(R"({"jsonrpc":"2.0","id":1,"method":")") + method + R"(","params":)" + params +
                       "]}");
    };
}

std::string Throughput(const LoadResult& r) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%.0f req/s, p50 %s, p99 %s%s", r.requests_per_second,
                  Micros(r.latency.Median()).c_str(), Micros(r.latency.Percentile(0.99)).c_str(),
                  r.failures > 0 ? (", " + std::to_string(r.failures) + " failed").c_str() : "");
    return buffer;
}

std::string WithCpu(const LoadResult& r) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, ", server CPU %.1f µs/req", r.server_cpu_us);
    return Throughput(r) + buffer;
}

std::string Connections(int clients) { return std::to_string(clients) + " connection" + (clients > 1 ? "s" : ""); }

// `count` history rows of location 0001, after those it has.
void AddHistoryRows(hostlib::TdtmDBGeral& module, long from, long to) {
    const std::string columns =
        "INSERT INTO HISTDTEMISSAO (NMTABELA, CDCHAVE, DTANTERIOR, DTNOVA, NMCLIENTE, NMUSUARIO, DSORIGEM, DTREGISTRO) ";
    const std::string values =
        "SELECT 'LOCALEMISSAO', '0001', NULL, '2024-01-01 00:00:00', 'carga', 'carga', '127.0.0.1', "
        "'2024-01-01 00:00:00' FROM ";
    if (module.Kind() == hostlib::DatabaseKind::SQLite) {
        module.Session() << columns + "WITH RECURSIVE n(i) AS (SELECT " + std::to_string(from) +
                                " UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(to) + ") " + values + "n";
    } else {
        module.Session() << columns + values + "generate_series(" + std::to_string(from) + ", " + std::to_string(to) +
                                ") AS i";
        module.Session() << "ANALYZE HISTDTEMISSAO";
    }
}

// The floor: a method the server does not have, answered by the HTTP and JSON-RPC layers alone.
const char* const kPing = R"({"jsonrpc":"2.0","id":1,"method":"Ping","params":[]})";
const char* const kSerie =
    R"({"jsonrpc":"2.0","id":1,"method":"GetSerieNF","params":["01","110042490114","4587123","1",""]})";

}  // namespace

// Stores that say what they replace beside the same stores without it, one code per connection.
void MeasureCheckedStores(const BenchDatabase& database, const LoadOptions& options, std::vector<Row>& rows) {
    // Each run's connections get codes no run before stored to, so each chain starts at null.
    int codes = 0;
    for (int clients : options.connections) codes += clients;
    {
        hostlib::TdtmDBGeral module(nullptr, "dtmCodigos");
        module.Open(database.url);
        for (int c = 0; c < codes; ++c) {
            // Location codes have four characters at most.
            for (const char* prefix : {"K", "N"}) {
                const std::string code = prefix + std::to_string(c);
                module.Session() << "INSERT INTO CTRLNUMENF VALUES ('C" + code + "', 'Bench', NULL)";
                module.Session() << "INSERT INTO LOCALEMISSAO VALUES ('" + code + "', 'Bench', NULL)";
            }
        }
    }
    ServerProcess server(database.url, {"--quiet"}, ProcessSettings{.program = BENCH_SERVER_EXE});
    for (const auto& [method, checked, plain] :
         {std::tuple{"UpdateCtrlNumNF", "CK", "CN"}, std::tuple{"UpDtLocal", "K", "N"}}) {
        int first = 0;
        for (int clients : options.connections) {
            const LoadResult with = RunLoad(
                server, clients, OwnCodeStores(method, checked, first, clients, StoreCheck::WhatItReplaces),
                options.seconds_per_run);
            const LoadResult without = RunLoad(
                server, clients, OwnCodeStores(method, plain, first, clients, StoreCheck::None), options.seconds_per_run);
            first += clients;
            rows.push_back({std::string("server ") + method + " saying what it replaces, " + Connections(clients),
                            database.name, Throughput(with), Throughput(without) + " (two parameters)",
                            Ratio(with.latency.Median(), without.latency.Median()) +
                                " the p50 of two parameters (target <= 1.2x)"});
        }
    }
}

// Four connections sending batches of a hundred reads of a thousand history rows each, and
// another client's GetMaxData meanwhile, beside that client alone.
void MeasureHeavyBatches(const BenchDatabase& database, const LoadOptions& options, std::vector<Row>& rows) {
    {
        hostlib::TdtmDBGeral module(nullptr, "dtmLotes");
        module.Open(database.url);
        AddHistoryRows(module, 1, 1000);
    }
    ServerProcess server(database.url, {"--quiet"}, ProcessSettings{.program = BENCH_SERVER_EXE});
    std::string batch = "[";
    for (int i = 0; i < 100; ++i) {
        batch += std::string(i > 0 ? "," : "") + R"({"jsonrpc":"2.0","id":)" + std::to_string(i) +
                 R"(,"method":"GetHistorico","params":["LOCALEMISSAO","",1000]})";
    }
    batch += "]";
    const std::string max_data = R"({"jsonrpc":"2.0","id":1,"method":"GetMaxData","params":["CTRLB"]})";
    const LoadResult alone = RunLoad(server, 1, Fixed(max_data), options.seconds_per_run);
    std::atomic<bool> stop{false};
    std::vector<std::thread> heavy;
    for (int c = 0; c < 4; ++c) {
        heavy.emplace_back([&] {
            RawHttpConnection connection(server.Port());
            const std::string request = RpcPost(batch);
            while (!stop) connection.Exchange(request, 60000);
        });
    }
    const LoadResult beside = RunLoad(server, 1, Fixed(max_data), options.seconds_per_run);
    stop = true;
    for (auto& thread : heavy) thread.join();
    rows.push_back({"GetMaxData beside 4 connections of 100-read batches", database.name,
                    Throughput(beside) + ", max " + Micros(beside.latency.Max()),
                    Throughput(alone) + " (alone)",
                    "p99 " + Micros(beside.latency.Percentile(0.99)) + " (target < 50 ms)"});
}

void MeasureServerLoad(const BenchDatabase& database, const LoadOptions& options, std::vector<Row>& rows) {
    // Reads beside the empty method, on the server as shipped (one loop per core).
    {
        ServerProcess server(database.url, {"--quiet"}, ProcessSettings{.program = BENCH_SERVER_EXE});
        for (int clients : options.connections) {
            const LoadResult floor =
                RunLoad(server, clients, Fixed(kPing), options.seconds_per_run, ErrorAnswer::Expected);
            const LoadResult serie = RunLoad(server, clients, Fixed(kSerie), options.seconds_per_run);
            char ratio[96];
            std::snprintf(ratio, sizeof ratio, "%.2fx of the floor's req/s, %.2fx its CPU/req",
                          serie.requests_per_second / floor.requests_per_second,
                          serie.server_cpu_us / floor.server_cpu_us);
            rows.push_back(
                {"server GetSerieNF, " + Connections(clients), database.name, WithCpu(serie), WithCpu(floor), ratio});
        }

        // A thousand idle keep-alive connections beside 16 busy ones.
        const LoadResult busy_alone = RunLoad(server, 16, Fixed(kSerie), options.seconds_per_run);
        std::vector<std::unique_ptr<RawHttpConnection>> idle;
        for (int i = 0; i < options.idle_connections; ++i) {
            idle.push_back(std::make_unique<RawHttpConnection>(server.Port()));
        }
        // Measured once the server holds them all, not while it is still accepting them.
        const int held = server.WaitForOpenConnections(options.idle_connections, std::chrono::seconds(5));
        const LoadResult busy_with_idle = RunLoad(server, 16, Fixed(kSerie), options.seconds_per_run);
        char figure[200];
        std::snprintf(figure, sizeof figure, "%s, max %s (%d idle held)", Throughput(busy_with_idle).c_str(),
                      Micros(busy_with_idle.latency.Max()).c_str(), held);
        rows.push_back({"server GetSerieNF, 16 busy + " + std::to_string(options.idle_connections) + " idle",
                        database.name, figure,
                        Throughput(busy_alone) + ", max " + Micros(busy_alone.latency.Max()) + " (none idle)",
                        Ratio(busy_with_idle.requests_per_second, busy_alone.requests_per_second) + " of none idle"});
    }

    MeasureHeavyBatches(database, options, rows);

    // Durable stores, each a new date: commits in groups beside one commit per store.
    ServerProcess grouped(database.url, {"--quiet"}, ProcessSettings{.program = BENCH_SERVER_EXE});
    ServerProcess single(database.url, {"--quiet", "--largest-group", "1"},
                         ProcessSettings{.program = BENCH_SERVER_EXE});
    for (const auto& [method, code] : {std::pair{"UpdateCtrlNumNF", "CTRLB"}, std::pair{"UpDtLocal", "0003"}}) {
        for (int clients : options.connections) {
            const LoadResult group = RunLoad(grouped, clients, ChangingStores(method, code), options.seconds_per_run);
            const LoadResult each = RunLoad(single, clients, ChangingStores(method, code), options.seconds_per_run);
            rows.push_back({std::string("server ") + method + " (durable, a new date each), " + Connections(clients),
                            database.name, Throughput(group), Throughput(each) + " (a commit per store)",
                            Ratio(group.requests_per_second, each.requests_per_second) + " of a commit per store"});
        }
    }
    MeasureCheckedStores(database, options, rows);
}

void MeasureGrowth(const BenchDatabase& database, std::vector<Row>& rows) {
    hostlib::TdtmDBGeral module(nullptr, "dtmGrowth");
    module.Open(database.url);
    const bool sqlite = module.Kind() == hostlib::DatabaseKind::SQLite;
    // 10^4 series on controls of their own, and the invoices of one busy control.
    if (sqlite) {
        module.Session() << "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000) "
                            "INSERT INTO SERIENF SELECT '01', '110042490114', NULL, 'S' || (i - 1), 'Serie ' || i, "
                            "'CTRLG', 'S', 'N', 'N' FROM n";
    } else {
        module.Session() << "INSERT INTO SERIENF SELECT '01', '110042490114', NULL, 'S' || (i - 1), 'Serie ' || i, "
                            "'CTRLG', 'S', 'N', 'N' FROM generate_series(1, 10000) AS i";
    }
    module.Session() << "INSERT INTO CTRLNUMENF VALUES ('CTRLG', 'Crescimento', NULL)";
    ServerProcess server(database.url, {"--quiet"}, ProcessSettings{.program = BENCH_SERVER_EXE});
    const std::string serie_request =
        R"({"jsonrpc":"2.0","id":1,"method":"GetSerieNF","params":["01","110042490114","","S5000",""]})";
    const std::string max_request = R"({"jsonrpc":"2.0","id":1,"method":"GetMaxData","params":["CTRLG"]})";
    // What the history dialog asks without a code: every code's newest stores.
    const std::string history_request =
        R"({"jsonrpc":"2.0","id":1,"method":"GetHistorico","params":["LOCALEMISSAO","",200]})";
    double first_history = 0;
    long inserted = 0;
    double first_serie = 0;
    double first_max = 0;
    for (long target : {1000L, 100000L, 1000000L}) {
        const std::string from = std::to_string(inserted + 1);
        const std::string to = std::to_string(target);
        if (sqlite) {
            module.Session() << "WITH RECURSIVE n(i) AS (SELECT " + from + " UNION ALL SELECT i + 1 FROM n WHERE i < " +
                                    to +
                                    ") INSERT INTO NOTAFISCAL SELECT 'CTRLG', i, "
                                    "datetime('2020-01-01', '+' || (i % 2000000) || ' minutes') FROM n";
            // A long-running database has moved its log into the file; measure that, not
            // a write-ahead log just grown by a bulk load.
            std::string busy;
            module.Session() << "PRAGMA wal_checkpoint(TRUNCATE)", soci::into(busy);
        } else {
            module.Session() << "INSERT INTO NOTAFISCAL SELECT 'CTRLG', i, TIMESTAMP '2020-01-01' + "
                                "(i % 2000000) * INTERVAL '1 minute' FROM generate_series(" +
                                    from + ", " + to + ") AS i";
            module.Session() << "ANALYZE NOTAFISCAL";
        }
        AddHistoryRows(module, inserted + 1, target);
        if (sqlite) {
            std::string busy;
            module.Session() << "PRAGMA wal_checkpoint(TRUNCATE)", soci::into(busy);
        }
        inserted = target;
        // A connection opened after the load: one kept idle through it may have been closed.
        RawHttpConnection connection(server.Port());
        int failures = 0;
        const auto rpc = [&](const std::string& body) {
            return [&connection, &failures, request = RpcPost(body)] {
                const auto answer = connection.Exchange(request);
                if (answer.status != 200 || answer.body.find("\"error\"") != std::string::npos) ++failures;
            };
        };
        // A long warm-up after each bulk load, so that every size is timed in the same
        // steady state (caches refilled, the processor no longer ramping up or idling).
        constexpr int kWarmup = 1000;
        const Samples serie = Time(1000, rpc(serie_request), {}, kWarmup);
        const Samples max = Time(1000, rpc(max_request), {}, kWarmup);
        const Samples history = Time(200, rpc(history_request), {}, 100);
        if (first_serie == 0) {
            first_serie = serie.Median();
            first_max = max.Median();
            first_history = history.Median();
        }
        const std::string size = target == 1000 ? "10^3" : target == 100000 ? "10^5" : "10^6";
        if (failures > 0) {
            rows.push_back({"(error) " + std::to_string(failures) + " calls failed at " + size + " invoices",
                            database.name, "", "", ""});
        }
        rows.push_back({"GetSerieNF, 10^4 series, " + size + " invoices", database.name, Micros(serie.Median()),
                        Micros(first_serie) + " (10^3)", Ratio(serie.Median(), first_serie)});
        rows.push_back({"GetMaxData, " + size + " invoices", database.name, Micros(max.Median()),
                        Micros(first_max) + " (10^3)", Ratio(max.Median(), first_max)});
        rows.push_back({"GetHistorico of every code (200 rows), " + size + " history rows", database.name,
                        Micros(history.Median()), Micros(first_history) + " (10^3)",
                        Ratio(history.Median(), first_history)});
    }
}

}  // namespace bench
