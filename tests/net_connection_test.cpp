// The client side: the connection to the application server and the client datasets.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <thread>

#include "hostlib/application.h"
#include "hostlib/net/client_dataset.h"
#include "hostlib/net/net_connection.h"
#include "support/backends.h"
#include "support/embedded_server.h"
#include "support/recording_host.h"

using namespace hostlib;
using testing_support::Backend;

namespace {

class NetConnection : public ::testing::Test {
protected:
    NetConnection() : database(Backend::SQLite), server(database.Url()), application(host) {
        database.LoadDemo();
        connection = &application.Create<TNetConnection>("netTeste");
        connection->ServerName = "VOR17000.rdmDataEmissao";
        connection->BeforeConnect = [this](TObject&) {
            ++before_connect;
            connection->Host = "127.0.0.1";
            connection->Port = server.Port();
        };
    }
    testing_support::TestDatabase database;
    testing_support::EmbeddedServer server;
    testing_support::RecordingHost host;
    TApplication application;
    TNetConnection* connection = nullptr;
    int before_connect = 0;
};

TEST_F(NetConnection, ConnectRunsBeforeConnectAndCallsByName) {
    connection->SetConnected(true);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(before_connect, 1);
    const auto result = connection->AppServer().Call("GetMaxData", {std::string("CTRL03")});
    EXPECT_EQ(result["rows"][0][0], "2024-05-15T14:30:00");
    connection->SetConnected(true);  // already connected: nothing again
    EXPECT_EQ(before_connect, 1);
    connection->SetConnected(false);
    EXPECT_FALSE(connection->Connected());
}

TEST_F(NetConnection, DatesTravelAsDatesAndStoreOnTheServer) {
    connection->AppServer().Call("UpdateCtrlNumNF", {EncodeDate(2025, 2, 3), std::string("CTRL01")});
    EXPECT_EQ(database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = 'CTRL01'"),
              "2025-02-03 00:00:00");
}

TEST_F(NetConnection, EachStoreCarriesTheHostsUserOfThatMomentCutToWhatTheServerTakes) {
    application.Values().Usuario = "ana";
    connection->AppServer().Call("UpdateCtrlNumNF", {EncodeDate(2025, 2, 3), std::string("CTRL01")});
    // Refused by the server as it stands: a line break, a byte that is no UTF-8, 70 letters.
    application.Values().Usuario = "jo\xe3o\n" + std::string(70, 'x');
    connection->AppServer().Call("UpdateCtrlNumNF", {EncodeDate(2025, 2, 4), std::string("CTRL01")});
    const auto history = connection->AppServer().Call(
        "GetHistorico", {std::string("CTRLNUMENF"), std::string("CTRL01"), std::string("10")});
    ASSERT_EQ(history["rows"].size(), 2u);
    EXPECT_EQ(history["rows"][0][6], "jo\uFFFDo" + std::string(60, 'x'));  // newest first
    EXPECT_EQ(history["rows"][1][6], "ana");
}

TEST_F(NetConnection, ServerErrorsComeBackWithTheirCodeAndText) {
    try {
        connection->AppServer().Call("UpDtLocal", {EncodeDate(2025, 1, 1), std::string("9999")});
        FAIL();
    } catch (const EAppServerError& e) {
        EXPECT_EQ(e.Code(), -32000);
        EXPECT_STREQ(e.what(), "Local de emissão '9999' não cadastrado.");
    }
    EXPECT_TRUE(connection->Connected());  // an error answer is no broken connection
}

TEST_F(NetConnection, FailedConnectIsShownWhenNotThrowingAndLeavesItClosed) {
    server.Stop();
    connection->ThrowException = false;
    connection->ConnectTimeout = std::chrono::milliseconds(1000);
    EXPECT_NO_THROW(connection->SetConnected(true));
    EXPECT_FALSE(connection->Connected());
    ASSERT_EQ(host.Types(), (std::vector<std::string>{"exception"}));
    EXPECT_NE(host.events[0].text.find("Não foi possível conectar"), std::string::npos) << host.events[0].text;
    connection->ThrowException = true;
    EXPECT_THROW(connection->SetConnected(true), ENetConnectionError);
}

TEST_F(NetConnection, ACallWhileNotConnectedConnectsOnceAndRaisesOnFailure) {
    EXPECT_NO_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}));
    EXPECT_EQ(before_connect, 1);
    connection->SetConnected(false);
    server.Stop();
    connection->ThrowException = false;  // a call raises whatever this says
    EXPECT_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}), ENetConnectionError);
    EXPECT_EQ(before_connect, 2);
    EXPECT_FALSE(connection->Connected());
}

TEST_F(NetConnection, ADroppedConnectionIsMadeAgainOnTheNextCall) {
    connection->SetConnected(true);
    server.Restart();  // the server went away and came back; our socket is dead
    EXPECT_NO_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}));
    EXPECT_EQ(before_connect, 2);
    server.Stop();
    EXPECT_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}), ENetConnectionError);
    server.Restart();
    EXPECT_NO_THROW(connection->AppServer().Call("GetMaxData", {std::string("CTRL01")}));
}

TEST_F(NetConnection, AServerWithoutTheModuleRefusesTheConnection) {
    connection->ServerName = "VOR99999.rdmOutro";
    try {
        connection->SetConnected(true);
        FAIL();
    } catch (const ENetConnectionError& e) {
        EXPECT_NE(std::string(e.what()).find("VOR99999.rdmOutro"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(connection->Connected());
}

// A server that answers the connect properly and every call with `answer`, as a hostile or
// broken server would.
class HostileServer {
public:
    explicit HostileServer(std::string answer) : answer_(std::move(answer)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HostileServer() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    unsigned short Port() const { return port_; }

private:
    void Serve() {
        const int client = ::accept(fd_, nullptr, nullptr);
        if (client < 0) return;
        const std::string connect = R"({"server":"VOR17000.rdmDataEmissao","methods":[]})";
        for (const std::string* body : {&connect, static_cast<const std::string*>(&answer_)}) {
            char buffer[4096];
            std::string request;
            while (request.find("\r\n\r\n") == std::string::npos) {
                const auto n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            const std::string response =
                "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body->size()) +
                "\r\n\r\n" + *body;
            ::send(client, response.data(), response.size(), MSG_NOSIGNAL);
        }
        ::close(client);
    }
    std::string answer_;
    int fd_ = -1;
    unsigned short port_ = 0;
    std::thread thread_;
};

// Answers no server of ours sends: nested without end, bigger than the server's own limit, or
// made of more values than a packet ever has. Each is refused while it is read.
struct AnswerShape {
    const char* name;
    std::string result;
};
void PrintTo(const AnswerShape& shape, std::ostream* out) { *out << shape.name; }

class HostileServerAnswer : public ::testing::TestWithParam<AnswerShape> {};

TEST_P(HostileServerAnswer, IsAnErrorNotACrashNorAHugeTree) {
    HostileServer server(R"({"jsonrpc":"2.0","id":1,"result":)" + GetParam().result + "}");
    TNetConnection connection(nullptr, "netTeste");
    connection.ServerName = "VOR17000.rdmDataEmissao";
    connection.Port = server.Port();
    EXPECT_THROW(connection.AppServer().Call("GetMaxData", {std::string("CTRL01")}), ENetConnectionError);
}

std::string ManyEmptyLists(std::size_t count) {
    std::string lists = "[";
    for (std::size_t i = 0; i < count; ++i) lists += i == 0 ? "[]" : ",[]";
    return lists + "]";
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, HostileServerAnswer,
    ::testing::Values(AnswerShape{"NestedWithoutEnd", std::string(200000, '[') + std::string(200000, ']')},
                      AnswerShape{"DeeperThanAPacket", std::string(10, '[') + std::string(10, ']')},
                      AnswerShape{"MoreValuesThanAPacket", ManyEmptyLists(1'200'000)},  // 3.6 MB: within the size
                      AnswerShape{"BiggerThanTheServersLimit", "\"" + std::string(9 * 1024 * 1024, 'x') + "\""}),
    [](const auto& shape) { return std::string(shape.param.name); });


// An error object the contract does not allow is a failure of the connection's own kinds,
// whatever the server put in it; a well-formed one keeps its code and text.
TEST(HostileServerAnswer, AnErrorWithoutAWholeNumberCodeOrATextMessageIsAnInvalidAnswer) {
    for (const char* error : {R"({"code":"-32000","message":"Recusado."})", R"({"code":null,"message":"Recusado."})",
                              R"({"code":-32000.5,"message":"Recusado."})", R"({"code":4294967296,"message":"x"})",
                              R"({"code":-32000,"message":17})", R"({"code":[1],"message":"Recusado."})"}) {
        SCOPED_TRACE(error);
        HostileServer server(std::string(R"({"jsonrpc":"2.0","id":1,"error":)") + error + "}");
        TNetConnection connection(nullptr, "netTeste");
        connection.ServerName = "VOR17000.rdmDataEmissao";
        connection.Port = server.Port();
        EXPECT_THROW(connection.AppServer().Call("GetMaxData", {std::string("CTRL01")}), ENetConnectionError);
    }
    HostileServer server(R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"Recusado."}})");
    TNetConnection connection(nullptr, "netTeste");
    connection.ServerName = "VOR17000.rdmDataEmissao";
    connection.Port = server.Port();
    try {
        connection.AppServer().Call("GetMaxData", {std::string("CTRL01")});
        FAIL() << "no error";
    } catch (const EAppServerError& e) {
        EXPECT_EQ(e.Code(), -32000);
        EXPECT_STREQ(e.what(), "Recusado.");
    }
}

// ---- client datasets

class ClientDataSet : public ::testing::Test {
protected:
    ClientDataSet() {
        dataset.FieldDefs = {{"CDSERIE", TFieldType::ftString, 5, false, "Código", true},
                             {"DTEMISCTNUNF", TFieldType::ftDateTime, 0, false, "Data", false}};
    }
    // Rows as lists of values (a braced list of pairs would read as an object).
    static nlohmann::json Packet(const std::vector<std::vector<nlohmann::json>>& rows) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& row : rows) list.push_back(row);
        return {{"columns",
                 {{{"name", "CDSERIE"}, {"type", "string"}, {"size", 5}},
                  {{"name", "DTEMISCTNUNF"}, {"type", "datetime"}}}},
                {"rows", list}};
    }
    TClientDataSet dataset{nullptr, "cdsTeste"};
};

TEST_F(ClientDataSet, SetDataReplacesEverythingAndStandsOnTheFirstRow) {
    dataset.SetData(Packet({{"1", "2024-01-02T03:04:05"}, {"2", nullptr}}));
    EXPECT_TRUE(dataset.Active());
    EXPECT_EQ(dataset.RecordCount(), 2u);
    ASSERT_TRUE(dataset.Next());
    EXPECT_TRUE(dataset.FieldByName("DTEMISCTNUNF").IsNull());
    dataset.SetData(Packet({{"9", "2024-12-31T00:00:00"}}));
    EXPECT_EQ(dataset.RecordCount(), 1u);
    EXPECT_EQ(dataset.RecNo(), 0u);
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "9");
    EXPECT_EQ(dataset.FieldByName("DTEMISCTNUNF").AsDateTime(), EncodeDate(2024, 12, 31));
    dataset.SetData(Packet({}));
    EXPECT_TRUE(dataset.IsEmpty());
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "");
}

TEST_F(ClientDataSet, APacketMissingOrMistypingAColumnIsRefusedNamingIt) {
    dataset.SetData(Packet({{"1", nullptr}}));
    nlohmann::json missing = {{"columns", {{{"name", "CDSERIE"}, {"type", "string"}}}}, {"rows", {{"2"}}}};
    try {
        dataset.SetData(missing);
        FAIL();
    } catch (const EPacketError& e) {
        EXPECT_NE(std::string(e.what()).find("DTEMISCTNUNF"), std::string::npos) << e.what();
    }
    nlohmann::json mistyped = Packet({{"2", "x"}});
    mistyped["columns"][1]["type"] = "string";
    try {
        dataset.SetData(mistyped);
        FAIL();
    } catch (const EPacketError& e) {
        EXPECT_NE(std::string(e.what()).find("DTEMISCTNUNF"), std::string::npos) << e.what();
    }
    // The content stays what it was.
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "1");
}

TEST_F(ClientDataSet, MalformedPacketsAreErrorsNotCrashes) {
    const nlohmann::json bad[] = {
        nullptr,
        "text",
        {{"columns", {}}},
        {{"columns", {{{"name", "A"}, {"type", "blob"}}}}, {"rows", {}}},
        Packet({{"1"}}),
        Packet({{"1", "2024-13-01T00:00:00"}}),
        Packet({{1, nullptr}}),
        {{"columns", nlohmann::json::array()}, {"rows", {"not a row"}}},
    };
    for (const auto& packet : bad) {
        SCOPED_TRACE(packet.dump());
        EXPECT_THROW(dataset.SetData(packet), EPacketError);
    }
}

TEST_F(ClientDataSet, ColumnsNobodyDeclaredServeTheirOwnPacketOnlyAndNamesIgnoreCase) {
    nlohmann::json packet = Packet({{"1", nullptr, "extra"}});
    packet["columns"][0]["name"] = "cdserie";
    packet["columns"].push_back({{"name", "OUTRA"}, {"type", "string"}});
    dataset.SetData(packet);
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "1");
    EXPECT_EQ(dataset.FieldByName("OUTRA").AsString(), "extra");
    // A server of the older version behind the same address answers without that column.
    dataset.SetData(Packet({{"2", nullptr}}));
    EXPECT_EQ(dataset.FieldByName("CDSERIE").AsString(), "2");
    EXPECT_THROW(dataset.FieldByName("OUTRA"), Exception);
    dataset.SetData(packet);
    EXPECT_EQ(dataset.FieldByName("OUTRA").AsString(), "extra");
}

}  // namespace
