#pragma once
// The server alone under keep-alive load, beside an empty method on the same stack; with
// and without a thousand idle connections; and as the data grows.
#include <vector>

#include "bench_database.h"
#include "measure.h"

namespace bench {

struct LoadOptions {
    double seconds_per_run = 1.5;
    std::vector<int> connections = {1, 16, 64};
    int idle_connections = 1000;
};

void MeasureServerLoad(const BenchDatabase& database, const LoadOptions& options, std::vector<Row>& rows);
void MeasureGrowth(const BenchDatabase& database, std::vector<Row>& rows);
// Another client's read while four connections send batches of heavy reads.
void MeasureHeavyBatches(const BenchDatabase& database, const LoadOptions& options, std::vector<Row>& rows);

}  // namespace bench
