// A connection that says nothing for longer than --idle-timeout is closed; one that keeps
// talking is not, however long it lasts.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

namespace {

using testing_support::Backend;
using testing_support::RawHttpConnection;
using testing_support::Rpc;
using Clock = std::chrono::steady_clock;

class IdleTimeout : public ::testing::Test {
protected:
    IdleTimeout() : database(Backend::SQLite) { database.LoadDemo(); }
    static std::string Read() { return Rpc("GetMaxData", {"CTRL01"}); }
    testing_support::TestDatabase database;
};

TEST_F(IdleTimeout, AnIdleConnectionIsClosedOnceItsTimeHasPassed) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--idle-timeout", "1"});
    RawHttpConnection connection(server.Port());
    ASSERT_EQ(connection.Exchange(Read()).status, 200);
    const auto start = Clock::now();
    const auto after = connection.Receive(6000);
    const auto waited = Clock::now() - start;
    EXPECT_TRUE(after.closed);
    EXPECT_EQ(after.status, 0);  // closed without a word
    EXPECT_GE(waited, std::chrono::milliseconds(800));
    EXPECT_LT(waited, std::chrono::seconds(4));
    // The server itself goes on.
    RawHttpConnection next(server.Port());
    EXPECT_EQ(next.Exchange(Read()).status, 200);
}

TEST_F(IdleTimeout, EachRequestStartsTheTimeAgain) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--idle-timeout", "1"});
    RawHttpConnection connection(server.Port());
    const auto start = Clock::now();
    // Twice the timeout in all, never more than half of it in silence.
    while (Clock::now() - start < std::chrono::seconds(2)) {
        const auto answer = connection.Exchange(Read());
        ASSERT_EQ(answer.status, 200);
        ASSERT_FALSE(answer.closed);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
}

TEST_F(IdleTimeout, ATimeOutsideASecondToADayStopsTheStart) {
    for (const char* seconds : {"0", "86401", "-5", "dez", ""}) {
        SCOPED_TRACE(seconds);
        const auto result = testing_support::RunServerBinary(
            {"--db", database.Url(), "--listen", "127.0.0.1:0", "--idle-timeout", seconds});
        EXPECT_EQ(result.exit_code, 2) << result.output;
    }
}

}  // namespace
