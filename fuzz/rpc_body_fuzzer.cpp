// Fuzzes the server's request handling: any bytes as a JSON-RPC body, run by the real remote
// data module and store writer over a SQLite database with the demo data.
#include <unistd.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app_server.h"
#include "data_emissao_module.h"
#include "core/db/database_session.h"
#include "rpc_dispatch.h"
#include "server_core.h"

namespace {

struct Harness {
    Harness() {
        // In shared memory: the stores fsync, and the fuzzer makes many.
        const auto folder = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                : std::filesystem::temp_directory_path();
        const auto file = folder / ("vor17000_fuzz_" + std::to_string(::getpid()) + ".db");
        std::filesystem::remove(file);
        appserver::ServerOptions options;
        options.database_url = "sqlite:" + file.string();
        options.log = appserver::RequestLog::None;
        hostlib::DatabaseSession setup;
        setup.Open(options.database_url);
        setup.ExecuteScript(hostlib::DemoDataScript());
        core = std::make_unique<appserver::ServerCore>(options);
        core->writer.Start();
        reader = std::make_unique<appserver::DataEmissaoModule>(options.database_url,
                                                                appserver::ServerSessionOptions(options), core->file);
        call = std::make_unique<appserver::RpcCall>(
            *reader, core->writer, appserver::RpcLimits{options.answer_limit});
    }

    std::unique_ptr<appserver::ServerCore> core;
    std::unique_ptr<appserver::DataEmissaoModule> reader;
    std::unique_ptr<appserver::RpcCall> call;
};

Harness& TheHarness() {
    static Harness harness;
    return harness;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Harness& harness = TheHarness();
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    // Stores finish on the writer's thread; the rest of the call runs here once they have.
    std::mutex mutex;
    std::condition_variable done;
    std::function<void()> pending;
    appserver::Caller caller;
    bool finished = harness.call->Start(body, caller, [&](std::function<void()> work) {
        std::lock_guard lock(mutex);
        pending = std::move(work);
        done.notify_one();
    });
    while (!finished) {
        std::function<void()> work;
        {
            std::unique_lock lock(mutex);
            done.wait(lock, [&] { return pending != nullptr; });
            work = std::move(pending);
            pending = nullptr;
        }
        work();
        finished = harness.call->Finished();
    }
    // Every input gets an answer that is JSON, or none when it held only notifications.
    const std::string& answer = harness.call->Answer();
    if (!answer.empty() && !nlohmann::json::accept(answer)) __builtin_trap();
    return 0;
}
