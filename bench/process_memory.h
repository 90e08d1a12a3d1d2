#pragma once
// Peak resident size of the host with the screen open, and of the server holding a
// thousand idle connections, each as a process of its own.
#include <vector>

#include "bench_database.h"
#include "measure.h"

namespace bench {

void MeasureMemory(const BenchDatabase& database, int idle_connections, std::vector<Row>& rows);

}  // namespace bench
