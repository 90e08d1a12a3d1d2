#pragma once
// What the server counts for /metrics: requests by method and outcome with their latencies,
// database errors by kind. Each event loop counts into its own set (no sharing between
// threads while serving); a scrape adds the sets up.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data_emissao_contract.h"

namespace appserver {

// How a request ended, for the request log and the metrics: answered, a JSON-RPC error, or
// an HTTP status.
struct RequestOutcome {
    enum class Kind { Answered, RpcError, HttpStatus };
    Kind kind = Kind::Answered;
    int code = 0;  // the JSON-RPC error code, or the HTTP status

    static RequestOutcome RpcError(int code) { return {Kind::RpcError, code}; }
    static RequestOutcome Status(int status) { return {Kind::HttpStatus, status}; }
    // As the log tells it: "ok", "error -32000", "413".
    std::string LogText() const;
    // As the metrics label it: "ok", "-32000", "413".
    std::string Label() const;
};

enum class DatabaseFailure { Connection, Busy, ReadOnly, StorageFull, FileGone, Other };

class RequestMetrics {
public:
    static constexpr std::array<std::string_view, 11> kMethods = {
        "GetSerieNF", "GetMaxData", "UpdateCtrlNumNF", "UpDtLocal", "GetHistorico", "GetDivergencias",
        "batch",      "connect",    "health",          "metrics",   "other"};
    static_assert(
        [] {
            for (std::size_t i = 0; i < vor17000::kMethods.size(); ++i) {
                if (kMethods[i] != vor17000::kMethods[i].name) return false;
            }
            return true;
        }(),
        "the contract's methods come first, in its order");
    static constexpr std::array<std::string_view, 18> kOutcomes = {
        "ok",  "-32700", "-32600", "-32601", "-32602", "-32603", "-32000", "204", "400",
        "401", "403",    "404",    "405",    "413",    "415",    "431",    "503", "other"};
    static constexpr std::array<double, 12> kBuckets = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025,
                                                        0.05,   0.1,   0.25,   0.5,   1.0,  2.5};
    static constexpr std::size_t kFailures = 6;

    void Request(std::string_view method, const RequestOutcome& outcome, double seconds);
    void Database(DatabaseFailure failure);

    struct Snapshot {
        std::array<std::array<std::uint64_t, kOutcomes.size()>, kMethods.size()> requests{};
        std::array<std::array<std::uint64_t, kBuckets.size() + 1>, kMethods.size()> latency{};
        std::array<double, kMethods.size()> latency_sum{};
        std::array<std::uint64_t, kFailures> database{};
    };
    void AddTo(Snapshot& snapshot) const;

private:
    using Counter = std::atomic<std::uint64_t>;
    std::array<std::array<Counter, kOutcomes.size()>, kMethods.size()> requests_{};
    std::array<std::array<Counter, kBuckets.size() + 1>, kMethods.size()> latency_{};
    std::array<std::atomic<double>, kMethods.size()> latency_sum_{};
    std::array<Counter, kFailures> database_{};
};

// The rest of what a scrape shows, read when it is taken.
struct ServerGauges {
    int open_connections = 0;
    bool database_up = false;
    std::uint64_t stores = 0;
    std::uint64_t commits = 0;
    std::vector<std::uint64_t> group_sizes;  // counts per bucket of kGroupBuckets, and the rest
    std::uint64_t refused_changed = 0;       // stores refused: the date changed meanwhile
    std::uint64_t refused_invoices = 0;      // stores refused: earlier than the latest invoice
    std::uint64_t group_size_sum = 0;
};

inline constexpr std::array<std::uint64_t, 9> kGroupBuckets = {1, 2, 4, 8, 16, 32, 64, 128, 256};

// The Prometheus text exposition of it all.
std::string MetricsText(const RequestMetrics::Snapshot& requests, const ServerGauges& gauges);

}  // namespace appserver
