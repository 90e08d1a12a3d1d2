// Reads and stores mixed as the screen mixes them, through a server process with several
// workers: no store refused, and no read older than the store acknowledged before it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "core/datetime.h"
#include "support/backends.h"
#include "testkit/server_process.h"

using Json = nlohmann::json;
using testing_support::Backend;
using testing_support::RawHttpConnection;
using testing_support::RpcPost;

namespace {

enum class Connection { PerRequest, KeepAlive };

struct Workload {
    const char* name;
    Connection connection;
    // The screen's Confirm asks GetMaxData then stores; a lookup reads the series back.
    bool screen_order;
};

class ReadConsistency : public ::testing::TestWithParam<std::tuple<Backend, Workload>> {
protected:
    ReadConsistency() : database(std::get<0>(GetParam())) { database.LoadDemo(); }

    testing_support::TestDatabase database;
};

Json Call(RawHttpConnection& connection, const std::string& method, const Json& params) {
    const Json request = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
    const auto response = connection.Exchange(RpcPost(request.dump()));
    if (response.status != 200) return Json{{"error", {{"message", "HTTP " + std::to_string(response.status)}}}};
    return Json::parse(response.body);
}

TEST_P(ReadConsistency, EveryStoreIsTakenAndReadBackByTheNextRequest) {
    const Workload workload = std::get<1>(GetParam());
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--threads", "4"});
    std::unique_ptr<RawHttpConnection> kept;
    auto connection = [&]() -> RawHttpConnection& {
        if (workload.connection == Connection::PerRequest || !kept) {
            kept = std::make_unique<RawHttpConnection>(server.Port());
        }
        return *kept;
    };
    int refused = 0;
    int stale = 0;
    std::string first_problem;
    constexpr int kRounds = 300;
    for (int round = 0; round < kRounds; ++round) {
        // Every round a date no round stored before.
        const std::string date = hostlib::DateTimeToIso(hostlib::EncodeDate(2030, 1, 1) + round);
        if (workload.screen_order) {
            Call(connection(), "GetSerieNF", {"01", "110042490114", "", "1", ""});
        }
        Call(connection(), "GetMaxData", {"CTRL01"});
        const Json stored = Call(connection(), "UpdateCtrlNumNF", {date, "CTRL01"});
        if (stored.contains("error")) {
            if (refused++ == 0) first_problem = stored.dump();
            continue;
        }
        const Json read = Call(connection(), "GetSerieNF", {"01", "110042490114", "", "1", ""});
        if (read.contains("error") || read["result"]["rows"][0][3] != date) {
            if (stale++ == 0 && first_problem.empty()) first_problem = read.dump();
        }
    }
    EXPECT_EQ(refused, 0) << first_problem;
    EXPECT_EQ(stale, 0) << first_problem;
}

const Workload kWorkloads[] = {
    {"NewConnectionPerRequest", Connection::PerRequest, false},
    {"KeepAlive", Connection::KeepAlive, false},
    {"ScreenOrderNewConnectionPerRequest", Connection::PerRequest, true},
};

INSTANTIATE_TEST_SUITE_P(Backends, ReadConsistency,
                         ::testing::Combine(testing_support::AllBackends(), ::testing::ValuesIn(kWorkloads)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param) == Backend::SQLite ? "SQLite" : "PostgreSQL") +
                                    "_" + std::get<1>(test.param).name;
                         });

}  // namespace
