// The server's log: a reader of it going away does not take the server down.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/backends.h"
#include "support/rpc_client.h"

namespace {

using testing_support::Answer;
using testing_support::Backend;
using testing_support::Json;
using testing_support::Rpc;

TEST(ServerLog, AReaderOfTheLogThatGoesAwayDoesNotTakeTheServerDown) {
    testing_support::TestDatabase database(Backend::SQLite);
    database.LoadDemo();
    int log[2];
    ASSERT_EQ(::pipe(log), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(log[1], 2);
        ::close(log[0]);
        ::execl(SERVER_EXE, SERVER_EXE, "--db", database.Url().c_str(), "--listen", "127.0.0.1:0",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(log[1]);
    // Reads two lines (the database opened, the address served), then goes away.
    std::string read;
    char c = 0;
    int lines = 0;
    while (lines < 2 && ::read(log[0], &c, 1) == 1) {
        read += c;
        lines += c == '\n' ? 1 : 0;
    }
    ::close(log[0]);
    const auto at = read.find("em 127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << read;
    const auto port = static_cast<unsigned short>(std::stoi(read.substr(at + 13)));
    // The store's log line finds no reader: the store is still answered, and the next too.
    const Json stored = Answer(port, Rpc("UpdateCtrlNumNF", {"2031-09-09T00:00:00", "CTRL03"}));
    EXPECT_TRUE(stored.contains("result")) << stored;
    EXPECT_TRUE(Answer(port, Rpc("GetMaxData", {"CTRL01"})).contains("result"));
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the server ended";
    ::kill(pid, SIGTERM);
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
