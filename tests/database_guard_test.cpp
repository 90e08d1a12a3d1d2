// An SQLite database's files deleted under a running server: no store is acknowledged and then
// lost, and what the deleted log held is saved before the server gives the database up.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <thread>

#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/eventually.h"
#include "testkit/server_process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::Backend;
using testing_support::Call;
using testing_support::Json;
using testing_support::RawHttpConnection;

class DatabaseGuard : public ::testing::Test {
protected:
    // The test's own session lets go of the files: only the server holds them open.
    DatabaseGuard() : database(Backend::SQLite) {
        database.LoadDemo();
        database.Disconnect();
    }
    std::string Path() const { return database.Url().substr(7); }
    void RemoveLogFiles() {
        fs::remove(Path() + "-wal");
        fs::remove(Path() + "-shm");
    }
    int Health(unsigned short port) {
        RawHttpConnection connection(port);
        return connection.Exchange("GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n").status;
    }
    // What a new session finds in the file (after the server died at once).
    std::optional<std::string> Stored(const std::string& code) {
        return database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + code + "'");
    }
    testing_support::TestDatabase database;
};

TEST_F(DatabaseGuard, ALogDeletedBeforeAStoreIsSavedAndThenEveryStoreRefused) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    ASSERT_TRUE(Call(server.Port(), "UpdateCtrlNumNF", {"2031-01-01T00:00:00", "CTRL03"}).contains("result"));
    RemoveLogFiles();
    // The store that finds the log gone is answered as it ends: saved with the rest, or refused.
    const Json next = Call(server.Port(), "UpdateCtrlNumNF", {"2031-02-02T00:00:00", "CTRL04"});
    const Json later = Call(server.Port(), "UpdateCtrlNumNF", {"2031-03-03T00:00:00", "CTRL05"});
    EXPECT_EQ(later["error"]["code"], -32000) << later;
    EXPECT_EQ(Health(server.Port()), 503);
    EXPECT_NE(server.Log().find("foi apagado"), std::string::npos) << server.Log();
    server.Stop(SIGKILL);
    database.Reconnect();
    EXPECT_EQ(Stored("CTRL03"), "2031-01-01 00:00:00");
    EXPECT_EQ(Stored("CTRL04"), next.contains("result") ? std::optional<std::string>("2031-02-02 00:00:00")
                                                                   : std::nullopt);
    EXPECT_EQ(Stored("CTRL05"), "2024-01-10 00:00:00");
    EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM HISTDTEMISSAO"), next.contains("result") ? "2" : "1");
}

TEST_F(DatabaseGuard, ALogDeletedUnderAnIdleServerIsSavedBeforeTheNextStore) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    ASSERT_TRUE(Call(server.Port(), "UpdateCtrlNumNF", {"2031-01-01T00:00:00", "CTRL03"}).contains("result"));
    RemoveLogFiles();
    EXPECT_TRUE(testing_support::Eventually(5s, [&] { return Health(server.Port()) == 503; }, 100ms));
    EXPECT_EQ(Call(server.Port(), "UpdateCtrlNumNF", {"2031-02-02T00:00:00", "CTRL04"})["error"]["code"], -32000);
    server.Stop(SIGKILL);
    database.Reconnect();
    EXPECT_EQ(Stored("CTRL03"), "2031-01-01 00:00:00");
    EXPECT_EQ(Stored("CTRL04"), std::nullopt);
}

}  // namespace
