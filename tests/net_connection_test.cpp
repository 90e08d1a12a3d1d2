// The client side: the connection to the application server, and answers no server of ours sends.
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

}  // namespace
