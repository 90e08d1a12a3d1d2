// Requests no client of ours writes, against a real server process: parsed, refused, and
// never run in part; nothing in them reaches the log as a line of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

using testing_support::Answer;
using testing_support::Backend;
using testing_support::Json;
using testing_support::RawHttpConnection;
using testing_support::Rpc;
using testing_support::RpcPost;
using testing_support::StillServing;
namespace fs = std::filesystem;

namespace {

// The server on the demo data in a SQLite file: what is attacked is the server, not the database.
class HostileRequests : public ::testing::Test {
protected:
    HostileRequests() : database(Backend::SQLite) { database.LoadDemo(); }
    testing_support::TestDatabase database;
};

TEST_F(HostileRequests, ParametersNestedWithoutEndAreRefusedWhileBeingRead) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--body-limit", "1000000"});
    const std::string deep = std::string(150000, '[') + std::string(150000, ']');
    const Json answer =
        Answer(server.Port(), RpcPost(R"({"jsonrpc":"2.0","id":1,"method":"GetMaxData","params":)" + deep + "}"));
    EXPECT_EQ(answer["error"]["code"], -32600) << answer.dump().substr(0, 200);
    EXPECT_TRUE(StillServing(server.Port()));
}

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
