// Clients that take more than their share of a real server process: turned away or outlasted,
// and the rest still served.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/eventually.h"
#include "testkit/server_process.h"

using testing_support::Answer;
using testing_support::Backend;
using testing_support::Json;
using testing_support::RawHttpConnection;
using testing_support::Rpc;
using testing_support::RpcPost;
using testing_support::StillServing;

namespace {

// The server on the demo data in a SQLite file: what is attacked is the server, not the database.
class HostileLoad : public ::testing::Test {
protected:
    HostileLoad() : database(Backend::SQLite) { database.LoadDemo(); }
    testing_support::TestDatabase database;
};

TEST_F(HostileLoad, ClientsThatDoNotTakeTheirAnswersAreNoLongerRead) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    RawHttpConnection hoarder(server.Port());
    const std::string request = Rpc("GetSerieNF", {"01", "110042490114", "", "", "T"});
    std::string batch;
    while (batch.size() < 64 * 1024) batch += request;
    // Pipelined requests, never an answer read: the server stops reading, the socket fills.
    std::size_t sent = 0;
    bool blocked = false;
    while (sent < 256u * 1024 * 1024 && !blocked) {
        const auto n = ::send(hoarder.Descriptor(), batch.data(), batch.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            blocked = ::send(hoarder.Descriptor(), batch.data(), batch.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0;
        } else if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else {
            break;
        }
    }
    EXPECT_TRUE(blocked);
    EXPECT_LT(sent, 64u * 1024 * 1024);
    EXPECT_TRUE(StillServing(server.Port()));
}

TEST_F(HostileLoad, BatchesAndAnswersHaveLimits) {
    for (int i = 0; i < 1500; ++i) {
        database.Execute("INSERT INTO SERIENF VALUES ('01', '110042490114', NULL, 'X" + std::to_string(i) +
                         "', 'Série de volume', 'CTRL01', 'S', 'N', 'N')");
    }
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--answer-limit", "65536"});
    Json batch = Json::array();
    for (int i = 0; i < 101; ++i)
        batch.push_back({{"jsonrpc", "2.0"}, {"id", i}, {"method", "GetMaxData"}, {"params", {"CTRL01"}}});
    const Json too_long = Answer(server.Port(), RpcPost(batch.dump()));
    EXPECT_EQ(too_long["error"]["code"], -32600) << too_long;
    batch.erase(batch.size() - 1);
    EXPECT_EQ(Answer(server.Port(), RpcPost(batch.dump())).size(), 100u);
    const Json large = Answer(server.Port(), Rpc("GetSerieNF", {"01", "110042490114", "", "", "T"}));
    EXPECT_EQ(large["error"]["code"], -32000) << large.dump().substr(0, 200);
    EXPECT_NE(large["error"]["message"].get<std::string>().find("limite"), std::string::npos);
    EXPECT_TRUE(Answer(server.Port(), Rpc("GetSerieNF", {"01", "110042490114", "", "1", ""})).contains("result"));
}

TEST_F(HostileLoad, ConnectionsPastTheServersCapAreTurnedAway) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--max-connections", "20"});
    std::vector<std::unique_ptr<RawHttpConnection>> held;
    for (int i = 0; i < 20; ++i) {
        held.push_back(std::make_unique<RawHttpConnection>(server.Port()));
        ASSERT_EQ(held.back()->Exchange("GET /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").status, 200);
    }
    RawHttpConnection over(server.Port());
    EXPECT_EQ(over.Receive(2000).status, 503);
    held.clear();
    EXPECT_TRUE(testing_support::Eventually(std::chrono::seconds(1), [&] { return StillServing(server.Port()); }));
}

TEST_F(HostileLoad, RunningOutOfDescriptorsTheServerWaitsInsteadOfSpinning) {
    // A cap above what the descriptors allow: the accept fails for want of them.
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--max-connections", "100000"},
                                          {.descriptor_limit = 64});
    std::vector<std::unique_ptr<RawHttpConnection>> flood;
    for (int i = 0; i < 120; ++i) flood.push_back(std::make_unique<RawHttpConnection>(server.Port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double before = server.CpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(server.CpuSeconds() - before, 0.2) << "the accept loop spins";
    flood.clear();
    EXPECT_TRUE(testing_support::Eventually(std::chrono::seconds(5), [&] { return StillServing(server.Port()); },
                                            std::chrono::milliseconds(50)));
}

}  // namespace
