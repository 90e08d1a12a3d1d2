#include "measure.h"

#include <cmath>
#include <cstdio>
#include <iostream>

namespace bench {

double Samples::Percentile(double p) const {
    if (us.empty()) return 0;
    std::vector<double> sorted = us;
    std::sort(sorted.begin(), sorted.end());
    const auto index = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size()))) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

namespace {

double TimeOnce(const Step& step) {
    const auto start = Clock::now();
    step.body();
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    if (step.between) step.between();
    return us;
}

}  // namespace

Samples Time(int count, const std::function<void()>& body, const std::function<void()>& between, int warmup) {
    const Step step{body, between};
    for (int i = 0; i < warmup; ++i) TimeOnce(step);
    Samples samples;
    samples.us.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) samples.us.push_back(TimeOnce(step));
    return samples;
}

SideBySide TimeSideBySide(int count, const Step& figure, const Step& floor, int warmup) {
    for (int i = 0; i < warmup; ++i) {
        TimeOnce(figure);
        TimeOnce(floor);
    }
    SideBySide result;
    for (int i = 0; i < count; ++i) {
        result.figure.us.push_back(TimeOnce(figure));
        result.floor.us.push_back(TimeOnce(floor));
    }
    return result;
}

std::string Micros(double us) {
    char buffer[32];
    if (us >= 1000) {
        std::snprintf(buffer, sizeof buffer, "%.2f ms", us / 1000);
    } else {
        std::snprintf(buffer, sizeof buffer, "%.0f µs", us);
    }
    return buffer;
}

std::string Ratio(double value, double floor) {
    if (floor <= 0) return "-";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2fx", value / floor);
    return buffer;
}

void PrintTable(const std::vector<Row>& rows) {
    std::cout << "\n| scenario | database | figure | floor | ratio |\n|---|---|---|---|---|\n";
    for (const auto& r : rows) {
        std::cout << "| " << r.scenario << " | " << r.backend << " | " << r.figure << " | " << r.floor << " | "
                  << r.ratio << " |\n";
    }
    std::cout << std::flush;
}

}  // namespace bench
