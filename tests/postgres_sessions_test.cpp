// The server's sessions to a PostgreSQL server that does not answer or is not there: the
// start fails with a message in bounded time, and reconnecting backs off.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "core/db/database_error.h"
#include "session_keeper.h"
#include "testkit/server_process.h"

namespace {

TEST(PostgresSessions, ASilentListenerFailsTheStartWithAMessage) {
    // Accepts the connection and never says a word, as a frozen database server would.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string url = "postgresql://vor@127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/vor17000";
    const auto start = std::chrono::steady_clock::now();
    const auto result = testing_support::RunServerBinary({"--db", url, "--listen", "127.0.0.1:0"});
    const auto waited = std::chrono::steady_clock::now() - start;
    ::close(listener);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.output.find("Não foi possível abrir o banco de dados"), std::string::npos) << result.output;
    EXPECT_LT(waited, std::chrono::seconds(20));
}

TEST(PostgresSessions, AttemptsBackOffWhileTheDatabaseIsAway) {
    appserver::SessionKeeper keeper("postgresql://vor@127.0.0.1:1/vor17000", {});
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
    int refused = 0;
    while (std::chrono::steady_clock::now() < until) {
        EXPECT_THROW(keeper.Database(), hostlib::EDatabaseError);
        ++refused;
    }
    EXPECT_GT(refused, 100);
    // 100, 200 and 400 ms apart: a handful of attempts, however many requests came.
    EXPECT_LE(keeper.Attempts(), 5u);
}

}  // namespace
