// Fuzzes the server's request handling: any bytes as a JSON-RPC body, dispatched to the
// real remote data module over a SQLite database with the demo data.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "data_emissao_module.h"
#include "hostlib/db/data_module.h"
#include "rpc_dispatch.h"

namespace {

appserver::DataEmissaoModule& Module() {
    static std::unique_ptr<appserver::DataEmissaoModule> module = [] {
        // In shared memory: the stores fsync, and the fuzzer makes many.
        const auto folder = std::filesystem::exists("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                 : std::filesystem::temp_directory_path();
        const auto file = folder / ("vor17000_fuzz_" + std::to_string(::getpid()) + ".db");
        std::filesystem::remove(file);
        const std::string url = "sqlite:" + file.string();
        hostlib::TdtmDBGeral setup(nullptr, "dtmFuzz");
        setup.Open(url);
        setup.ExecuteScript(hostlib::DemoDataScript());
        return std::make_unique<appserver::DataEmissaoModule>(url);
    }();
    return *module;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    appserver::RpcSummary summary;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    // Every input gets an answer or, for notifications only, none; nothing escapes.
    const auto answer = appserver::HandleRpcBody(body, Module(), summary, appserver::FloorMethod::On);
    if (answer && answer->empty()) __builtin_trap();
    return 0;
}
