// Attacks of a hostile client, a careless administrator and a failing database, each
// reproduced against a real server process: the attack is refused or outlasted, the server
// goes on serving, and nothing is stored in the wrong place.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include <soci/soci.h>

#include "hostlib/db/data_module.h"
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
namespace fs = std::filesystem;

namespace {

bool StillServing(unsigned short port) {
    RawHttpConnection connection(port);
    return connection.Exchange("GET /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").status == 200;
}

class HostileInput : public ::testing::TestWithParam<Backend> {
protected:
    HostileInput() : database(GetParam()) { database.LoadDemo(); }
    std::optional<std::string> Control(const std::string& code) {
        return database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + code + "'");
    }
    testing_support::TestDatabase database;
};

// ---- data stored in the wrong place

TEST_P(HostileInput, ATextWithANulIsRefusedAndStoresNothing) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    const std::string nul_code = std::string("CTRL03") + '\0' + "junk";
    for (const auto& request :
         {Rpc("UpdateCtrlNumNF", {"2031-01-01T00:00:00", nul_code}),
          Rpc("UpDtLocal", {"2031-01-01T00:00:00", std::string("0002") + '\0'}),
          Rpc("GetSerieNF", {"01", "110042490114", "", std::string("3") + '\0', ""}), Rpc("GetMaxData", {nul_code})}) {
        const Json answer = Answer(server.Port(), request);
        EXPECT_EQ(answer["error"]["code"], -32602) << answer;
    }
    EXPECT_EQ(Control("CTRL03"), std::nullopt);
    EXPECT_EQ(database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '0002'"), std::nullopt);
}

TEST_P(HostileInput, ReadsAreNotHeldBehindALockHeldElsewhere) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--lock-timeout", "5"});
    hostlib::TdtmDBGeral locker(nullptr, "dtmOutroPrograma");
    locker.Open(database.Url());
    database.HoldRowLock(locker.Session(), "CTRL01");
    std::atomic<bool> stored{false};
    std::thread store([&] {
        Answer(server.Port(), Rpc("UpdateCtrlNumNF", {"2031-02-02T00:00:00", "CTRL01"}));
        stored = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the store is waiting now
    for (int i = 0; i < 20; ++i) {
        const Json read = Answer(server.Port(), Rpc("GetSerieNF", {"01", "110042490114", "", "2", ""}));
        if (!read.contains("result")) {
            ADD_FAILURE() << read;  // not ASSERT: the lock must still be let go and the thread joined
            break;
        }
    }
    EXPECT_FALSE(stored) << "the reads waited for the store";
    locker.Session() << "COMMIT";
    store.join();
    EXPECT_EQ(Control("CTRL01"), "2031-02-02 00:00:00");
}

TEST_P(HostileInput, AReadOnlyDatabaseIsAClearErrorAndServiceComesBackWithTheRights) {
    database.SetReadOnly(true);
    testing_support::ServerProcess server(database.Url(), {}, database.RightsBindingServer());
    const Json refused = Answer(server.Port(), Rpc("UpdateCtrlNumNF", {"2031-03-03T00:00:00", "CTRL01"}));
    EXPECT_EQ(refused["error"]["code"], -32000) << refused;
    EXPECT_EQ(refused["error"]["message"],
              "O banco de dados não aceita gravações (somente leitura). Avise o administrador.");
    EXPECT_NE(server.Log().find("somente leitura"), std::string::npos) << server.Log();
    // The administrator gives the rights back: the next store goes through, no restart.
    database.SetReadOnly(false);
    // Within a few seconds at most: every session of the server lets go of the read-only view.
    Json stored;
    EXPECT_TRUE(testing_support::Eventually(
        std::chrono::seconds(6),
        [&] {
            stored = Answer(server.Port(), Rpc("UpdateCtrlNumNF", {"2031-03-03T00:00:00", "CTRL01"}));
            return stored.contains("result");
        },
        std::chrono::milliseconds(200)))
        << stored;
}

INSTANTIATE_TEST_SUITE_P(Backends, HostileInput, testing_support::AllBackends(), testing_support::BackendName);

// A server on the demo data in a SQLite file: what is attacked here is the server, not the database.
class DemoServer : public ::testing::Test {
protected:
    DemoServer() : database(Backend::SQLite) { database.LoadDemo(); }
    testing_support::TestDatabase database;
};

// Requests no client of ours writes: parsed, refused, and never run in part.
class HostileRequests : public DemoServer {};
// Clients that take more than their share: turned away or outlasted, the rest still served.
class HostileLoad : public DemoServer {};

// ---- crashes and hangs

TEST_F(HostileRequests, ParametersNestedWithoutEndAreRefusedWhileBeingRead) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--body-limit", "1000000"});
    const std::string deep = std::string(150000, '[') + std::string(150000, ']');
    const Json answer =
        Answer(server.Port(), RpcPost(R"({"jsonrpc":"2.0","id":1,"method":"GetMaxData","params":)" + deep + "}"));
    EXPECT_EQ(answer["error"]["code"], -32600) << answer.dump().substr(0, 200);
    EXPECT_TRUE(StillServing(server.Port()));
}

// ---- service degraded by a few clients

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

// ---- smuggling, forged log lines and the small ones

TEST_F(HostileRequests, ATransferCodingOtherThanChunkedIsRefusedAndItsBodyNeverRuns) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    const std::string smuggled =
        R"({"jsonrpc":"2.0","id":9,"method":"UpdateCtrlNumNF","params":["2031-06-06T00:00:00","CTRL03"]})";
    for (const char* coding : {"gzip", "chunked, gzip", "xchunked", "identity"}) {
        SCOPED_TRACE(coding);
        RawHttpConnection connection(server.Port());
        const auto answer = connection.Exchange(
            "POST /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n"
            "Transfer-Encoding: " +
            std::string(coding) + "\r\n\r\n" + RpcPost(smuggled));
        EXPECT_EQ(answer.status, 400);
        EXPECT_EQ(connection.Receive(500).status, 0);  // nothing more: the rest never ran
    }
    EXPECT_EQ(database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = 'CTRL03'"), std::nullopt);
}

TEST_F(HostileRequests, AMethodNameCannotForgeLogLines) {
    testing_support::ServerProcess server(database.Url());
    Answer(server.Port(), Rpc("GetMaxData\nGetMaxData 0.100 ms ok", {"CTRL01"}));
    Answer(server.Port(), Rpc("GetMaxData", {"CTRL01"}));
    const std::string log = server.Log();
    EXPECT_EQ(log.find("\nGetMaxData 0.100 ms ok"), std::string::npos) << log;
    EXPECT_NE(log.find("GetMaxData\\x0aGetMaxData 0.100 ms ok"), std::string::npos) << log;
}

TEST_F(HostileRequests, LowerCaseBearerCrlfTokenFilesAndHeadWithoutABody) {
    const fs::path token = fs::temp_directory_path() / ("vor17000_token_" + std::to_string(::getpid()));
    std::ofstream(token, std::ios::binary) << "s3cret\r\n";
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--token-file", token.string()});
    RawHttpConnection connection(server.Port());
    EXPECT_EQ(connection
                  .Exchange("GET /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                            "authorization: bearer s3cret\r\n\r\n")
                  .status,
              200);
    const auto head = connection.Exchange(
        "HEAD /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n"
        "Authorization: Bearer s3cret\r\n\r\n");
    EXPECT_EQ(head.status, 405);
    EXPECT_TRUE(head.body.empty());
    // The connection is still in step: the next answer is the next request's.
    EXPECT_EQ(connection
                  .Exchange("GET /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                            "Authorization: Bearer s3cret\r\n\r\n")
                  .status,
              200);
    fs::remove(token);
}

}  // namespace
