#pragma once
// The screen's own latencies, through the real module, server and database, each beside
// the floor of the work it cannot avoid.
#include <vector>

#include "bench_database.h"
#include "measure.h"

namespace bench {

void MeasureScreenPaths(const BenchDatabase& database, int iterations, std::vector<Row>& rows);

}  // namespace bench
