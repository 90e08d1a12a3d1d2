// vor17000-server as a process: every method on both databases, and bad or hostile
// requests each answered rightly while the server goes on serving and the data stays.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

using Json = nlohmann::json;
using testing_support::Backend;
using testing_support::RawHttpConnection;
using testing_support::RpcPost;

namespace {

class AppServerProcess : public ::testing::TestWithParam<Backend> {
protected:
    AppServerProcess() : database(GetParam()) {
        database.LoadDemo();
        server = std::make_unique<testing_support::ServerProcess>(database.Url());
    }

    Json Call(const std::string& method, const Json& params) {
        RawHttpConnection connection(server->Port());
        const Json request = {{"jsonrpc", "2.0"}, {"id", 7}, {"method", method}, {"params", params}};
        const auto response = connection.Exchange(RpcPost(request.dump()));
        EXPECT_EQ(response.status, 200) << response.body;
        return Json::parse(response.body);
    }
    // The stored dates, to see that a bad request changed nothing.
    std::string Snapshot() {
        std::string out;
        for (const char* code : {"CTRL01", "CTRL03", "CTRL07"}) {
            out +=
                database
                    .QueryText(std::string("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '") + code + "'")
                    .value_or("null") +
                ";";
        }
        for (const char* code : {"0001", "0002"}) {
            out +=
                database
                    .QueryText(std::string("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '") + code + "'")
                    .value_or("null") +
                ";";
        }
        return out + database.QueryText("SELECT COUNT(*) FROM SERIENF").value_or("?");
    }
    bool StillServing() { return testing_support::StillServing(server->Port()); }

    testing_support::TestDatabase database;
    std::unique_ptr<testing_support::ServerProcess> server;
};

TEST_P(AppServerProcess, ConnectListsTheModulesMethods) {
    RawHttpConnection connection(server->Port());
    const auto response = connection.Exchange("GET /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_EQ(response.status, 200);
    const Json body = Json::parse(response.body);
    EXPECT_EQ(body["server"], "VOR17000.rdmDataEmissao");
    EXPECT_EQ(body["methods"],
              (Json{"GetSerieNF", "GetMaxData", "UpdateCtrlNumNF", "UpDtLocal", "GetHistorico", "GetDivergencias"}));
    const auto other = connection.Exchange("GET /rpc/VOR17000.rdmOutro HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(other.status, 404);
}

TEST_P(AppServerProcess, GetSerieNFReturnsThePacketInOrder) {
    const Json all = Call("GetSerieNF", {"01", "110042490114", "4587123", "", "T"});
    const Json& packet = all["result"];
    ASSERT_EQ(packet["columns"].size(), 7u);
    EXPECT_EQ(packet["columns"][0], (Json{{"name", "CDSERIE"}, {"type", "string"}, {"size", 5}}));
    EXPECT_EQ(packet["columns"][3], (Json{{"name", "DTEMISCTNUNF"}, {"type", "datetime"}}));
    std::vector<std::string> codes;
    for (const auto& row : packet["rows"]) codes.push_back(row[0]);
    // Series of other municipal registrations are left out; a null registration fits all.
    EXPECT_EQ(codes, (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "L", "M", "MIN", "N"}));
    EXPECT_EQ(packet["rows"][0], (Json{"1", "NF-e série 1", "CTRL01", "2023-12-31T00:00:00", "S", "N", "N"}));
    EXPECT_TRUE(packet["rows"][2][3].is_null());
    EXPECT_TRUE(packet["rows"][8][2].is_null());  // series 9 has no numbering control

    const Json one = Call("GetSerieNF", {"01", "110042490114", "", "2", ""});
    ASSERT_EQ(one["result"]["rows"].size(), 1u);
    EXPECT_EQ(one["result"]["rows"][0][3], "2024-02-28T00:00:00");
    EXPECT_EQ(Call("GetSerieNF", {"01", "110042490114", "", "2 ", ""})["result"]["rows"].size(), 0u);
    EXPECT_EQ(Call("GetSerieNF", {"02", "110042490114", "", "1", ""})["result"]["rows"].size(), 0u);
    EXPECT_EQ(Call("GetSerieNF", {"03", "", "", "", "T"})["result"]["rows"].size(), 0u);
}

TEST_P(AppServerProcess, GetMaxDataGivesTheLatestInvoiceWithItsTime) {
    EXPECT_EQ(
        Call("GetMaxData", {"CTRL03"})["result"],
        (Json{{"columns", {{{"name", "DTEMISSAO"}, {"type", "datetime"}}}}, {"rows", {{"2024-05-15T14:30:00"}}}}));
    const Json none = Call("GetMaxData", {"CTRL04"})["result"];
    ASSERT_EQ(none["rows"].size(), 1u);
    EXPECT_TRUE(none["rows"][0][0].is_null());
}

TEST_P(AppServerProcess, StoresWriteTheDateAndAnswerNull) {
    const Json control = Call("UpdateCtrlNumNF", {"2025-01-02T00:00:00", "CTRL03"});
    EXPECT_TRUE(control.contains("result") && control["result"].is_null()) << control;
    EXPECT_EQ(database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = 'CTRL03'"),
              "2025-01-02 00:00:00");
    const Json location = Call("UpDtLocal", {"2025-03-04T10:20:30", "0002"});
    EXPECT_TRUE(location["result"].is_null()) << location;
    EXPECT_EQ(database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '0002'"),
              "2025-03-04 10:20:30");
    // Milliseconds are taken, and kept to the second as every stored date is.
    EXPECT_TRUE(Call("UpDtLocal", {"2025-03-05T10:20:30.250", "0002"})["result"].is_null());
    EXPECT_EQ(database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '0002'"),
              "2025-03-05 10:20:30");
    // The stored date comes back in the next packet.
    EXPECT_EQ(Call("GetSerieNF", {"01", "110042490114", "", "3", ""})["result"]["rows"][0][3], "2025-01-02T00:00:00");
}

struct BadRequest {
    const char* what;
    std::string bytes;
    int http_status;
    int rpc_code;  // 0: no JSON-RPC error expected
};

TEST_P(AppServerProcess, BadAndHostileRequestsGetTheRightAnswerAndChangeNothing) {
    const std::string before = Snapshot();
    auto rpc = [](const std::string& body) { return RpcPost(body); };
    auto call = [](const std::string& method, const std::string& params) {
        return RpcPost(R"({"jsonrpc":"2.0","id":1,"method":")" + method + R"(","params":)" + params + "}");
    };
    const std::vector<BadRequest> cases = {
        {"malformed JSON", rpc("{\"jsonrpc\":"), 200, -32700},
        {"invalid UTF-8", rpc("{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"\xff\xfe\"}"), 200, -32700},
        {"empty body", rpc(""), 200, -32700},
        {"a number", rpc("42"), 200, -32600},
        {"no jsonrpc", rpc(R"({"id":1,"method":"GetMaxData","params":["CTRL01"]})"), 200, -32600},
        {"jsonrpc 1.0", rpc(R"({"jsonrpc":"1.0","id":1,"method":"GetMaxData","params":["CTRL01"]})"), 200, -32600},
        {"no method", rpc(R"({"jsonrpc":"2.0","id":1,"params":[]})"), 200, -32600},
        {"method a number", rpc(R"({"jsonrpc":"2.0","id":1,"method":5})"), 200, -32600},
        {"id an object", rpc(R"({"jsonrpc":"2.0","id":{},"method":"GetMaxData","params":["CTRL01"]})"), 200, -32600},
        {"empty batch", rpc("[]"), 200, -32600},
        {"unknown method", call("DropTables", "[]"), 200, -32601},
        {"named params", rpc(R"({"jsonrpc":"2.0","id":1,"method":"GetMaxData","params":{"c":"CTRL01"}})"), 200, -32602},
        {"params a string", call("GetMaxData", "\"CTRL01\""), 200, -32602},
        {"too few", call("GetSerieNF", R"(["01","110042490114","",""])"), 200, -32602},
        {"too many", call("GetSerieNF", R"(["01","110042490114","","","T","x"])"), 200, -32602},
        {"a number for a text", call("GetSerieNF", R"([1,"110042490114","","","T"])"), 200, -32602},
        {"null for a text", call("GetMaxData", "[null]"), 200, -32602},
        {"no params", call("GetMaxData", "[]"), 200, -32602},
        {"date that does not exist", call("UpdateCtrlNumNF", R"(["2024-02-30T00:00:00","CTRL01"])"), 200, -32602},
        {"date as a number", call("UpdateCtrlNumNF", R"([45000,"CTRL01"])"), 200, -32602},
        {"date in another format", call("UpDtLocal", R"(["31/12/2024","0001"])"), 200, -32602},
        // The wire takes one form only, so no date is ever taken for what the client did not mean.
        {"date without its time", call("UpDtLocal", R"(["2024-12-31","0001"])"), 200, -32602},
        {"a blank for the T", call("UpDtLocal", R"(["2024-12-31 00:00:00","0001"])"), 200, -32602},
        {"a one-digit hour", call("UpDtLocal", R"(["2024-12-31T9:00:00","0001"])"), 200, -32602},
        {"no seconds", call("UpDtLocal", R"(["2024-12-31T09:00","0001"])"), 200, -32602},
        {"nine fractional digits", call("UpDtLocal", R"(["2024-12-31T09:00:00.123456789","0001"])"), 200, -32602},
        {"two fractional digits", call("UpDtLocal", R"(["2024-12-31T09:00:00.12","0001"])"), 200, -32602},
        {"a time zone", call("UpDtLocal", R"(["2024-12-31T09:00:00Z","0001"])"), 200, -32602},
        {"hour 24", call("UpDtLocal", R"(["2024-12-31T24:00:00","0001"])"), 200, -32602},
        {"date and code swapped", call("UpdateCtrlNumNF", R"(["CTRL01","2024-12-31T00:00:00"])"), 200, -32602},
        {"unknown control", call("UpdateCtrlNumNF", R"(["2024-12-31T00:00:00","NOPE"])"), 200, -32000},
        {"unknown location", call("UpDtLocal", R"(["2024-12-31T00:00:00","9999"])"), 200, -32000},
        {"SQL as a control", call("UpdateCtrlNumNF", R"(["2024-12-31T00:00:00","' OR '1'='1"])"), 200, -32000},
        {"SQL as a location", call("UpDtLocal", R"(["2024-12-31T00:00:00","0001'; DELETE FROM LOCALEMISSAO; --"])"),
         200, -32000},
        {"oversized body", rpc(std::string(70000, ' ')), 413, 0},
        {"unknown module", RpcPost("{}", "/rpc/VOR99999.rdmOutro"), 404, 0},
        {"unknown path", RpcPost("{}", "/admin"), 404, 0},
        {"PUT", "PUT /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n", 405, 0},
        {"not HTTP", "HELLO THERE\r\n\r\n", 400, 0},
        {"deep nesting (a batch of one bad request)", rpc(std::string(30000, '[') + std::string(30000, ']')), 200,
         -32600},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RawHttpConnection connection(server->Port());
        const auto response = connection.Exchange(c.bytes);
        EXPECT_EQ(response.status, c.http_status) << response.body;
        if (c.rpc_code != 0) {
            Json body = Json::parse(response.body, nullptr, false);
            ASSERT_FALSE(body.is_discarded()) << response.body;
            if (body.is_array()) body = body.at(0);  // a batch answers a list
            EXPECT_EQ(body["error"]["code"], c.rpc_code) << response.body;
            EXPECT_TRUE(body["error"]["message"].is_string());
        }
        ASSERT_TRUE(StillServing());
    }
    EXPECT_EQ(Snapshot(), before);
}

TEST_P(AppServerProcess, HealthAndMetricsTellAnAdministratorHowTheServerIs) {
    Call("GetMaxData", {"CTRL01"});
    Call("GetMaxData", {std::string("NADA\0", 5)});
    RawHttpConnection connection(server->Port());
    const auto health = connection.Exchange("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    EXPECT_EQ(health.status, 200);
    EXPECT_EQ(health.body, R"({"status":"ok"})");
    const auto metrics = connection.Exchange("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    ASSERT_EQ(metrics.status, 200);
    EXPECT_NE(metrics.headers.find("text/plain; version=0.0.4"), std::string::npos);
    for (const char* line : {"vor17000_requests_total{method=\"GetMaxData\",outcome=\"ok\"} 1",
                             "vor17000_requests_total{method=\"GetMaxData\",outcome=\"-32602\"} 1",
                             "vor17000_request_duration_seconds_count{method=\"GetMaxData\"} 2",
                             "vor17000_open_connections ", "vor17000_database_up 1"}) {
        EXPECT_NE(metrics.body.find(line), std::string::npos) << line << "\n" << metrics.body;
    }
}

// The histogram's sum adds the sizes of the groups committed, so it agrees with its buckets
// even when a group held a store of an unknown code (committed, but nothing stored).
TEST_P(AppServerProcess, TheCommitGroupSumAddsGroupSizesNotStores) {
    EXPECT_TRUE(Call("UpdateCtrlNumNF", {"2025-01-02T00:00:00", "CTRL03"}).contains("result"));
    EXPECT_EQ(Call("UpdateCtrlNumNF", {"2025-01-02T00:00:00", "NADA"})["error"]["code"], -32000);
    RawHttpConnection connection(server->Port());
    const std::string metrics = connection.Exchange("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").body;
    for (const char* line : {"\nvor17000_stores_total 1\n", "\nvor17000_commit_group_size_bucket{le=\"+Inf\"} 2\n",
                             "\nvor17000_commit_group_size_sum 2\n", "\nvor17000_commit_group_size_count 2\n"}) {
        EXPECT_NE(metrics.find(line), std::string::npos) << line << metrics;
    }
}

TEST_P(AppServerProcess, AnOversizedBodySentWholeStillGetsItsAnswer) {
    // As most client libraries do: the whole body goes out without waiting for "100 Continue".
    RawHttpConnection connection(server->Port());
    EXPECT_TRUE(connection.Send(RpcPost(std::string(3 * 1024 * 1024, ' '))));
    EXPECT_EQ(connection.Receive().status, 413);
    EXPECT_TRUE(StillServing());
}

TEST_P(AppServerProcess, SqlAsCodesIsPlainData) {
    for (const char* code : {"' OR '1'='1", "1'; DROP TABLE SERIENF; --", "%", "T"}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(Call("GetSerieNF", {"01", "110042490114", "", code, ""})["result"]["rows"].size(), 0u);
        EXPECT_TRUE(Call("GetMaxData", {code})["result"]["rows"][0][0].is_null());
    }
    EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM SERIENF"), "15");
}

TEST_P(AppServerProcess, BatchesAndNotifications) {
    RawHttpConnection connection(server->Port());
    const auto batch = connection.Exchange(
        RpcPost(R"([{"jsonrpc":"2.0","id":1,"method":"GetMaxData","params":["CTRL03"]},)"
                R"({"jsonrpc":"2.0","id":2,"method":"Nada","params":[]},)"
                R"({"jsonrpc":"2.0","method":"UpDtLocal","params":["2025-05-05T00:00:00","0001"]}])"));
    const Json answers = Json::parse(batch.body);
    ASSERT_EQ(answers.size(), 2u);  // the notification gets no answer
    EXPECT_EQ(answers[0]["id"], 1);
    EXPECT_EQ(answers[1]["error"]["code"], -32601);
    EXPECT_EQ(database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '0001'"),
              "2025-05-05 00:00:00");
    const auto notification =
        connection.Exchange(RpcPost(R"({"jsonrpc":"2.0","method":"GetMaxData","params":["CTRL03"]})"));
    EXPECT_EQ(notification.status, 204);
}

TEST_P(AppServerProcess, KeepAliveServesManyRequestsOnOneConnection) {
    RawHttpConnection connection(server->Port());
    for (int i = 0; i < 20; ++i) {
        const auto response = connection.Exchange(RpcPost(R"({"jsonrpc":"2.0","id":)" + std::to_string(i) +
                                                          R"(,"method":"GetMaxData","params":["CTRL01"]})"));
        ASSERT_EQ(response.status, 200);
        EXPECT_EQ(Json::parse(response.body)["id"], i);
        EXPECT_FALSE(response.closed);
    }
}

TEST_P(AppServerProcess, InternalFailuresLeakNoSqlPathOrDriverText) {
    database.Execute("DROP TABLE NOTAFISCAL");
    const Json answer = Call("GetMaxData", {"CTRL01"});
    ASSERT_TRUE(answer.contains("error"));
    const std::string message = answer["error"]["message"];
    EXPECT_EQ(message, "Erro interno do servidor de aplicação.");
    const std::string all = answer.dump();
    for (const char* secret : {"NOTAFISCAL", "notafiscal", "SELECT", "sqlite", "soci", "/tmp", "relation"}) {
        EXPECT_EQ(all.find(secret), std::string::npos) << secret;
    }
    EXPECT_TRUE(StillServing());
    // The administrator's log says what the client was not told.
    const std::string log = server->Log();
    EXPECT_NE(log.find("vor17000-server: GetMaxData: "), std::string::npos) << log;
}

TEST_P(AppServerProcess, LogsOneLinePerRequestAndStopsCleanlyOnSigterm) {
    Call("GetMaxData", {"CTRL01"});
    Call("Nada", Json::array());
    EXPECT_EQ(server->Stop(SIGTERM), 0);
    const std::string log = server->Log();
    EXPECT_NE(log.find("GetMaxData "), std::string::npos) << log;
    EXPECT_NE(log.find(" ms ok"), std::string::npos) << log;
    EXPECT_NE(log.find("Nada "), std::string::npos) << log;
    EXPECT_NE(log.find("error -32601"), std::string::npos) << log;
    EXPECT_NE(log.find("encerrado"), std::string::npos) << log;
}

TEST_P(AppServerProcess, IdleConnectionsDoNotDelayAnActiveClient) {
    // One worker thread, many idle keep-alive connections.
    testing_support::ServerProcess single(database.Url(), {"--threads", "1", "--quiet"});
    std::vector<std::unique_ptr<RawHttpConnection>> idle;
    for (int i = 0; i < 300; ++i) {
        idle.push_back(std::make_unique<RawHttpConnection>(single.Port()));
        ASSERT_TRUE(idle.back()->Open());
    }
    // Some have started a request and stalled half-way.
    for (int i = 0; i < 20; ++i)
        idle[static_cast<std::size_t>(i)]->Send("POST /rpc/VOR17000.rdmDataEmissao HTTP/1.1\r\n");
    RawHttpConnection active(single.Port());
    for (int i = 0; i < 10; ++i) {
        const auto response =
            active.Exchange(RpcPost(R"({"jsonrpc":"2.0","id":1,"method":"GetMaxData","params":["CTRL01"]})"), 2000);
        ASSERT_EQ(response.status, 200);
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, AppServerProcess, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
