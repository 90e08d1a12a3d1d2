#pragma once
// Whether the server can do its work: a trivial query answered within a second, asked by a
// thread of its own every half second, so that /healthz answers at once whatever state the
// database is in, and a frozen database makes the server unhealthy rather than the probe stuck.
#include <atomic>
#include <string>

#include "data_emissao_module.h"
#include "database_file_guard.h"
#include "periodic_thread.h"

namespace appserver {

class HealthProbe {
public:
    HealthProbe(std::string database_url, hostlib::SessionOptions session_options, DatabaseFileGuard& file);
    ~HealthProbe();
    HealthProbe(const HealthProbe&) = delete;
    HealthProbe& operator=(const HealthProbe&) = delete;

    void Start();
    void Stop();
    bool Healthy() const;
    SessionKeeper& Session() { return reader_.Session(); }

private:
    void Probe();

    DataEmissaoModule reader_;
    DatabaseFileGuard& file_;
    std::atomic<std::int64_t> last_answer_{0};  // steady-clock ticks of the last timely answer
    PeriodicThread every_while_;
};

}  // namespace appserver
