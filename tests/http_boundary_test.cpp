// What the server takes from the network before any method runs: requests a web page could
// make a browser send, lines without end, connections that never say who they are, and the
// text of its own answers and counts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

namespace {

using testing_support::Answer;
using testing_support::Backend;
using testing_support::Json;
using testing_support::RawHttpConnection;
using testing_support::Rpc;
using testing_support::RpcPost;

class HttpBoundary : public ::testing::Test {
protected:
    HttpBoundary() : database(Backend::SQLite) { database.LoadDemo(); }
    std::optional<std::string> Control(const std::string& code) {
        return database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + code + "'");
    }
    testing_support::TestDatabase database;
};

// A store as a page of another site, or one whose name was rebound to 127.0.0.1, makes a
// browser send it: `head` replaces the fields of a client's request.
std::string StoreWithHead(const std::string& head) {
    const std::string body =
        R"({"jsonrpc":"2.0","id":1,"method":"UpdateCtrlNumNF","params":["2031-07-07T00:00:00","CTRL03"]})";
    return "POST /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\n" + head +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(HttpBoundary, WhatAWebPageCouldSendIsRefusedAndStoresNothing) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    struct Case {
        const char* what;
        std::string head;
        int status;
    };
    const Case refused[] = {
        {"a form's text/plain", "Host: 127.0.0.1\r\nContent-Type: text/plain\r\n", 415},
        {"no content type", "Host: 127.0.0.1\r\n", 415},
        {"another site's origin",
         "Host: 127.0.0.1\r\nContent-Type: application/json\r\nOrigin: https://elsewhere.example\r\n", 403},
        {"an opaque origin", "Host: 127.0.0.1\r\nContent-Type: application/json\r\nOrigin: null\r\n", 403},
        {"a rebound name", "Host: attacker.example:8217\r\nContent-Type: application/json\r\n", 403},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        RawHttpConnection connection(server.Port());
        EXPECT_EQ(connection.Exchange(StoreWithHead(c.head)).status, c.status);
    }
    EXPECT_EQ(Control("CTRL03"), std::nullopt);
    // What the server's own clients send goes through: JSON with a charset, loopback names,
    // an origin that is the server itself.
    for (const std::string head :
         {"Host: localhost:8217\r\nContent-Type: Application/JSON; charset=utf-8\r\n",
          "Host: [::1]:8217\r\nContent-Type: application/json\r\n",
          "Host: 127.0.0.1:8217\r\nContent-Type: application/json\r\nOrigin: http://127.0.0.1:8217\r\n"}) {
        RawHttpConnection connection(server.Port());
        const auto answer = connection.Exchange(StoreWithHead(head));
        EXPECT_EQ(answer.status, 200) << head << answer.body;
    }
    EXPECT_EQ(Control("CTRL03"), "2031-07-07 00:00:00");
}

TEST_F(HttpBoundary, AChunkSizeLineOrTrailerWithoutEndIsCutAtTheHeaderLimit) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    const std::string head =
        "POST /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
        "Transfer-Encoding: chunked\r\n\r\n";
    for (const std::string& flood :
         {head + "10;" + std::string(200000, 'e'), head + "0\r\nX-Trailer: " + std::string(200000, 't')}) {
        RawHttpConnection connection(server.Port());
        connection.Send(flood);
        const auto answer = connection.Receive();
        EXPECT_EQ(answer.status, 431);
        EXPECT_TRUE(answer.closed);
    }
    EXPECT_EQ(Answer(server.Port(), Rpc("GetMaxData", {"CTRL01"}))["result"]["rows"][0][0], "2023-12-31T00:00:00");
}

TEST_F(HttpBoundary, IdleConnectionsThatNeverSayWhoTheyAreCannotLockTheClientsOut) {
    const std::filesystem::path tokens = std::filesystem::temp_directory_path() / ("vor17000_budget_" + std::to_string(::getpid()));
    std::ofstream(tokens) << "caixa s3cret\n";
    std::filesystem::permissions(tokens, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    // A small per-address limit stands for the 4096 of a real one: every connection comes from
    // 127.0.0.1, the host's own and those of any other local user alike.
    testing_support::ServerProcess server(
        database.Url(), {"--quiet", "--token-file", tokens.string(), "--max-connections-per-address", "16"});
    std::vector<std::unique_ptr<RawHttpConnection>> idle;
    for (int i = 0; i < 100; ++i) idle.push_back(std::make_unique<RawHttpConnection>(server.Port()));
    const std::string store = "POST /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              "Content-Type: application/json\r\nAuthorization: Bearer s3cret\r\n";
    for (int i = 0; i < 3; ++i) {
        RawHttpConnection client(server.Port());
        const std::string body = R"({"jsonrpc":"2.0","id":1,"method":"UpdateCtrlNumNF","params":["2031-08-0)" +
                                 std::to_string(i + 1) + R"(T00:00:00","CTRL03"]})";
        const auto answer =
            client.Exchange(store + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        EXPECT_EQ(answer.status, 200) << answer.body;
    }
    EXPECT_EQ(Control("CTRL03"), "2031-08-03 00:00:00");
    // The oldest of them were let go to make room; those left are cut at their short deadline.
    std::size_t closed = 0;
    for (auto& connection : idle) closed += connection->Receive(50).closed ? 1 : 0;
    EXPECT_GE(closed, 30u);
    std::filesystem::remove(tokens);
}

TEST_F(HttpBoundary, ALongMethodNameIsCutAtACharacterAndCountedAsOther) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    const std::string name = std::string(63, 'a') + "ééé";
    for (const std::string& request :
         {Rpc(name, Json::array()), RpcPost("[" + Json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", name}}.dump() + "," +
                                            Json{{"jsonrpc", "2.0"}, {"id", 2}, {"method", "health"}}.dump() + "]")}) {
        RawHttpConnection connection(server.Port());
        const auto answer = connection.Exchange(request);
        const Json parsed = Json::parse(answer.body, nullptr, false);  // valid UTF-8, or not JSON at all
        ASSERT_FALSE(parsed.is_discarded()) << answer.body;
        const Json& error = parsed.is_array() ? parsed[0]["error"] : parsed["error"];
        EXPECT_EQ(error["code"], -32601);
    }
    // Calls named like the server's own paths are counted as other methods, not as those paths.
    for (const char* borrowed : {"health", "metrics", "connect", "batch", "Ping"}) {
        Answer(server.Port(), Rpc(borrowed, Json::array()));
    }
    RawHttpConnection connection(server.Port());
    const std::string metrics = connection.Exchange("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").body;
    EXPECT_EQ(metrics.find("method=\"health\""), std::string::npos) << metrics;
    EXPECT_EQ(metrics.find("method=\"connect\""), std::string::npos) << metrics;
    EXPECT_EQ(metrics.find("method=\"Ping\""), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("vor17000_requests_total{method=\"other\",outcome=\"-32601\"} 6"), std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find("vor17000_requests_total{method=\"batch\",outcome=\"-32601\"} 1"), std::string::npos)
        << metrics;
}

}  // namespace
