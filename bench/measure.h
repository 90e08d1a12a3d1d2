#pragma once
// Timing and the report table.
#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Latencies in microseconds.
struct Samples {
    std::vector<double> us;
    double Percentile(double p) const;
    double Median() const { return Percentile(0.5); }
    double Max() const { return us.empty() ? 0 : *std::max_element(us.begin(), us.end()); }
};

// Runs `body` `warmup` times untimed, then `count` times timed; `between` runs untimed
// after each timed call.
Samples Time(int count, const std::function<void()>& body, const std::function<void()>& between = {}, int warmup = 3);

// What is timed, and what runs untimed after it.
struct Step {
    std::function<void()> body;
    std::function<void()> between;
};
struct SideBySide {
    Samples figure;
    Samples floor;
};
// A figure and its floor timed in turns, one call of each, so that both meet the machine in
// the same state (threads awake or asleep, caches warm or cold) instead of one run catching
// it busy and the other idle.
SideBySide TimeSideBySide(int count, const Step& figure, const Step& floor, int warmup = 3);

struct Row {
    std::string scenario;
    std::string backend;
    std::string figure;
    std::string floor;
    std::string ratio;
};

std::string Micros(double us);
std::string Ratio(double value, double floor);
void PrintTable(const std::vector<Row>& rows);

}  // namespace bench
