// A store acknowledged by the server is on disk: the server killed with SIGKILL right after
// the answer, then started again, finds the date stored. Twenty rounds per database.
#include <gtest/gtest.h>
#include <signal.h>

#include <nlohmann/json.hpp>

#include "core/datetime.h"
#include "support/backends.h"
#include "testkit/server_process.h"

using testing_support::Backend;
using testing_support::RawHttpConnection;
using testing_support::RpcPost;

namespace {

class Durability : public ::testing::TestWithParam<Backend> {
protected:
    Durability() : database(GetParam()) { database.LoadDemo(); }
    testing_support::TestDatabase database;
};

TEST_P(Durability, AnAcknowledgedStoreSurvivesAKill) {
    constexpr int kRounds = 20;
    int survived = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        const bool location = round % 2 == 1;
        const hostlib::TDateTime date = hostlib::EncodeDate(2030, 1, 1) + round;
        const std::string iso = hostlib::DateTimeToIso(date);
        testing_support::ServerProcess server(database.Url(), {"--quiet"});
        {
            RawHttpConnection connection(server.Port());
            const std::string body = nlohmann::json{{"jsonrpc", "2.0"},
                                                    {"id", round},
                                                    {"method", location ? "UpDtLocal" : "UpdateCtrlNumNF"},
                                                    {"params", {iso, location ? "0002" : "CTRL04"}}}
                                         .dump();
            const auto answer = connection.Exchange(RpcPost(body));
            ASSERT_EQ(answer.status, 200);
            ASSERT_TRUE(nlohmann::json::parse(answer.body)["result"].is_null()) << answer.body;
            server.Stop(SIGKILL);  // at once, with the answer just in
        }
        testing_support::ServerProcess restarted(database.Url(), {"--quiet"});
        RawHttpConnection connection(restarted.Port());
        if (location) {
            EXPECT_EQ(database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '0002'"),
                      hostlib::DateTimeToIso(date, ' '));
        } else {
            const auto answer = connection.Exchange(
                RpcPost(R"({"jsonrpc":"2.0","id":1,"method":"GetSerieNF","params":["01","110042490114","","4",""]})"));
            const auto rows = nlohmann::json::parse(answer.body)["result"]["rows"];
            ASSERT_EQ(rows.size(), 1u);
            EXPECT_EQ(rows[0][3], iso);
        }
        if (!::testing::Test::HasFailure()) ++survived;
    }
    EXPECT_EQ(survived, kRounds);
    std::cout << "rounds survived: " << survived << " of " << kRounds << std::endl;
}

INSTANTIATE_TEST_SUITE_P(Backends, Durability, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
