// Faults of the database under a running server: gone, or frozen without a word.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "support/backends.h"
#include "testkit/eventually.h"
#include "testkit/server_process.h"

using testing_support::RawHttpConnection;
using testing_support::RpcPost;

namespace fs = std::filesystem;

namespace {

// A PostgreSQL cluster of this test's own, which it may stop and start at will.
class OwnCluster {
public:
    OwnCluster() : state_(fs::temp_directory_path() / ("vor17000_fault_pg_" + std::to_string(::getpid()))) {
        Run("start");
        std::ifstream env(state_ / "pg.env");
        std::string line;
        while (std::getline(env, line)) {
            if (line.rfind("VOR17000_TEST_PG=", 0) == 0) url_ = line.substr(17);
        }
    }
    ~OwnCluster() {
        Run("stop");
        fs::remove_all(state_);
    }
    const std::string& Url() const { return url_; }
    void Pause() { Run("pause"); }
    void Resume() { Run("resume"); }
    void Freeze() { Run("freeze"); }
    void Thaw() { Run("thaw"); }

private:
    void Run(const std::string& action) {
        const std::string command = "'" PG_CLUSTER_SCRIPT "' " + action + " '" + state_.string() + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << action;
    }
    fs::path state_;
    std::string url_;
};

nlohmann::json Call(unsigned short port, const std::string& method, const nlohmann::json& params) {
    RawHttpConnection connection(port);
    const auto answer = connection.Exchange(
        RpcPost(nlohmann::json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}}.dump()));
    EXPECT_EQ(answer.status, 200);
    return nlohmann::json::parse(answer.body, nullptr, false);
}

TEST(Faults, ADatabaseThatGoesAwayIsAnErrorTheUserCanReadAndServiceResumesByItself) {
    OwnCluster cluster;
    {
        hostlib::TdtmDBGeral module(nullptr, "dtmFalha");
        module.Open(cluster.Url());
        module.ExecuteScript(hostlib::DemoDataScript());
    }
    testing_support::ServerProcess server(cluster.Url(), {"--quiet"});
    EXPECT_EQ(Call(server.Port(), "GetMaxData", {"CTRL03"})["result"]["rows"][0][0], "2024-05-15T14:30:00");

    cluster.Pause();
    for (const char* method : {"GetMaxData", "UpdateCtrlNumNF"}) {
        SCOPED_TRACE(method);
        const auto answer = std::string(method) == "GetMaxData"
                                ? Call(server.Port(), method, {"CTRL03"})
                                : Call(server.Port(), method, {"2030-01-01T00:00:00", "CTRL03"});
        EXPECT_EQ(answer["error"]["code"], -32000) << answer.dump();
        EXPECT_EQ(answer["error"]["message"], "Banco de dados indisponível. Tente novamente em instantes.");
    }

    cluster.Resume();
    // The very first call after the database is back is served.
    EXPECT_TRUE(Call(server.Port(), "UpdateCtrlNumNF", {"2030-01-01T00:00:00", "CTRL03"})["result"].is_null());
    EXPECT_EQ(Call(server.Port(), "GetMaxData", {"CTRL03"})["result"]["rows"][0][0], "2024-05-15T14:30:00");
}

TEST(Faults, AFrozenDatabaseCostsAStatementTimeoutNotTheServer) {
    OwnCluster cluster;
    {
        hostlib::TdtmDBGeral module(nullptr, "dtmFalha");
        module.Open(cluster.Url());
        module.ExecuteScript(hostlib::DemoDataScript());
    }
    testing_support::ServerProcess server(cluster.Url(), {"--quiet", "--statement-timeout", "1", "--threads", "1"});
    EXPECT_EQ(Call(server.Port(), "GetMaxData", {"CTRL03"})["result"]["rows"][0][0], "2024-05-15T14:30:00");
    cluster.Freeze();
    // The database keeps the connection open and answers nothing, its own timeouts included.
    RawHttpConnection connection(server.Port());
    const auto start = std::chrono::steady_clock::now();
    const auto answer =
        connection.Exchange(RpcPost(R"({"jsonrpc":"2.0","id":1,"method":"GetMaxData","params":["CTRL03"]})"), 15000);
    const auto waited = std::chrono::steady_clock::now() - start;
    cluster.Thaw();
    EXPECT_EQ(nlohmann::json::parse(answer.body)["error"]["code"], -32000) << answer.body;
    EXPECT_LT(waited, std::chrono::seconds(8));
    EXPECT_TRUE(testing_support::Eventually(
        std::chrono::seconds(6), [&] { return Call(server.Port(), "GetMaxData", {"CTRL03"}).contains("result"); },
        std::chrono::milliseconds(200)));
}

}  // namespace
