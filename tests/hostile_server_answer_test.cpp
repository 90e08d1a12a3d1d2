// Answers no server of ours sends, from a server that speaks the protocol otherwise: the
// connection refuses them with its own errors, and neither crashes nor builds a huge tree.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ostream>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "hostlib/net/net_connection.h"

using namespace hostlib;

namespace {

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
