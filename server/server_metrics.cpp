#include "server_metrics.h"

#include <cstdio>

namespace appserver {

namespace {

template <std::size_t N>
std::size_t IndexOf(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::size_t i = 0; i + 1 < N; ++i) {
        if (names[i] == name) return i;
    }
    return N - 1;  // "other"
}

constexpr std::array<std::string_view, RequestMetrics::kFailures> kFailureNames = {
    "connection", "busy", "read_only", "storage_full", "file_gone", "other"};

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

std::string RequestOutcome::Label() const {
    return kind == Kind::Answered ? std::string("ok") : std::to_string(code);
}

std::string RequestOutcome::LogText() const { return kind == Kind::RpcError ? "error " + Label() : Label(); }

void RequestMetrics::Request(std::string_view method, const RequestOutcome& outcome, double seconds) {
    const std::size_t m = IndexOf(kMethods, method == "-" ? "other" : method);
    requests_[m][IndexOf(kOutcomes, outcome.Label())].fetch_add(1, std::memory_order_relaxed);
    std::size_t bucket = 0;
    while (bucket < kBuckets.size() && seconds > kBuckets[bucket]) ++bucket;
    latency_[m][bucket].fetch_add(1, std::memory_order_relaxed);
    // One thread writes each set: a plain read-modify-write of the sum is enough.
    latency_sum_[m].store(latency_sum_[m].load(std::memory_order_relaxed) + seconds, std::memory_order_relaxed);
}

void RequestMetrics::Database(DatabaseFailure failure) {
    database_[static_cast<std::size_t>(failure)].fetch_add(1, std::memory_order_relaxed);
}

void RequestMetrics::AddTo(Snapshot& snapshot) const {
    for (std::size_t m = 0; m < kMethods.size(); ++m) {
        for (std::size_t o = 0; o < kOutcomes.size(); ++o) {
            snapshot.requests[m][o] += requests_[m][o].load(std::memory_order_relaxed);
        }
        for (std::size_t b = 0; b <= kBuckets.size(); ++b) {
            snapshot.latency[m][b] += latency_[m][b].load(std::memory_order_relaxed);
        }
        snapshot.latency_sum[m] += latency_sum_[m].load(std::memory_order_relaxed);
    }
    for (std::size_t f = 0; f < kFailures; ++f) snapshot.database[f] += database_[f].load(std::memory_order_relaxed);
}

std::string MetricsText(const RequestMetrics::Snapshot& requests, const ServerGauges& gauges) {
    std::string out;
    out += "# HELP vor17000_requests_total Requests answered, by method and outcome.\n";
    out += "# TYPE vor17000_requests_total counter\n";
    for (std::size_t m = 0; m < RequestMetrics::kMethods.size(); ++m) {
        for (std::size_t o = 0; o < RequestMetrics::kOutcomes.size(); ++o) {
            if (requests.requests[m][o] == 0) continue;
            out += "vor17000_requests_total{method=\"" + std::string(RequestMetrics::kMethods[m]) + "\",outcome=\"" +
                   std::string(RequestMetrics::kOutcomes[o]) + "\"} " + std::to_string(requests.requests[m][o]) + "\n";
        }
    }
    out += "# HELP vor17000_request_duration_seconds Time from a request's arrival to its answer, by method.\n";
    out += "# TYPE vor17000_request_duration_seconds histogram\n";
    for (std::size_t m = 0; m < RequestMetrics::kMethods.size(); ++m) {
        std::uint64_t count = 0;
        for (auto n : requests.latency[m]) count += n;
        if (count == 0) continue;
        const std::string method(RequestMetrics::kMethods[m]);
        std::uint64_t cumulative = 0;
        for (std::size_t b = 0; b < RequestMetrics::kBuckets.size(); ++b) {
            cumulative += requests.latency[m][b];
            out += "vor17000_request_duration_seconds_bucket{method=\"" + method + "\",le=\"" +
                   Number(RequestMetrics::kBuckets[b]) + "\"} " + std::to_string(cumulative) + "\n";
        }
        out += "vor17000_request_duration_seconds_bucket{method=\"" + method + "\",le=\"+Inf\"} " +
               std::to_string(count) + "\n";
        out += "vor17000_request_duration_seconds_sum{method=\"" + method + "\"} " + Number(requests.latency_sum[m]) +
               "\n";
        out += "vor17000_request_duration_seconds_count{method=\"" + method + "\"} " + std::to_string(count) + "\n";
    }
    out += "# HELP vor17000_database_errors_total Database failures met while serving, by kind.\n";
    out += "# TYPE vor17000_database_errors_total counter\n";
    for (std::size_t f = 0; f < RequestMetrics::kFailures; ++f) {
        out += "vor17000_database_errors_total{kind=\"" + std::string(kFailureNames[f]) + "\"} " +
               std::to_string(requests.database[f]) + "\n";
    }
    out += "# HELP vor17000_open_connections Client connections open now.\n";
    out += "# TYPE vor17000_open_connections gauge\n";
    out += "vor17000_open_connections " + std::to_string(gauges.open_connections) + "\n";
    out += "# HELP vor17000_database_up Whether the database answered the last health probe in time.\n";
    out += "# TYPE vor17000_database_up gauge\n";
    out += "vor17000_database_up " + std::string(gauges.database_up ? "1" : "0") + "\n";
    out += "# HELP vor17000_stores_total Dates stored and committed.\n";
    out += "# TYPE vor17000_stores_total counter\n";
    out += "vor17000_stores_total " + std::to_string(gauges.stores) + "\n";
    out += "# HELP vor17000_store_refusals_total Stores refused by what the screen saw or checked, by reason.\n";
    out += "# TYPE vor17000_store_refusals_total counter\n";
    out += "vor17000_store_refusals_total{reason=\"alterada\"} " + std::to_string(gauges.refused_changed) + "\n";
    out += "vor17000_store_refusals_total{reason=\"notas\"} " + std::to_string(gauges.refused_invoices) + "\n";
    out += "# HELP vor17000_commit_group_size Stores committed together in one transaction.\n";
    out += "# TYPE vor17000_commit_group_size histogram\n";
    std::uint64_t cumulative = 0;
    for (std::size_t b = 0; b < kGroupBuckets.size() && b < gauges.group_sizes.size(); ++b) {
        cumulative += gauges.group_sizes[b];
        out += "vor17000_commit_group_size_bucket{le=\"" + std::to_string(kGroupBuckets[b]) + "\"} " +
               std::to_string(cumulative) + "\n";
    }
    if (gauges.group_sizes.size() > kGroupBuckets.size()) cumulative += gauges.group_sizes.back();
    out += "vor17000_commit_group_size_bucket{le=\"+Inf\"} " + std::to_string(cumulative) + "\n";
    out += "vor17000_commit_group_size_sum " + std::to_string(gauges.group_size_sum) + "\n";
    out += "vor17000_commit_group_size_count " + std::to_string(gauges.commits) + "\n";
    return out;
}

}  // namespace appserver
