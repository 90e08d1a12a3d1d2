// A lock another program holds on a control's row: a store waits for it up to the server's
// --lock-timeout, then is told the database is busy and writes nothing.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include <soci/soci.h>

#include "hostlib/db/data_module.h"
#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

namespace {

using testing_support::Backend;
using testing_support::Json;

class LockHeldElsewhere : public ::testing::TestWithParam<Backend> {
protected:
    LockHeldElsewhere() : database(GetParam()) { database.LoadDemo(); }
    // Another program's session takes the write lock on CTRL01 and keeps it.
    void TakeLock() {
        locker = std::make_unique<hostlib::TdtmDBGeral>(nullptr, "dtmOutroPrograma");
        locker->Open(database.Url());
        database.HoldRowLock(locker->Session(), "CTRL01");
    }
    void ReleaseLock() { locker->Session() << "COMMIT"; }
    Json Store(unsigned short port, const std::string& date) {
        return testing_support::Call(port, "UpdateCtrlNumNF", {date, "CTRL01"});
    }
    std::optional<std::string> Stored() {
        return database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = 'CTRL01'");
    }

    testing_support::TestDatabase database;
    std::unique_ptr<hostlib::TdtmDBGeral> locker;
};

TEST_P(LockHeldElsewhere, ShorterThanTheTimeoutIsWaitedOut) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--lock-timeout", "5"});
    TakeLock();
    std::thread release([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ReleaseLock();
    });
    const Json answer = Store(server.Port(), "2032-02-02T00:00:00");
    release.join();
    EXPECT_TRUE(answer.contains("result")) << answer;
    EXPECT_EQ(Stored(), "2032-02-02 00:00:00");
}

TEST_P(LockHeldElsewhere, LongerIsABusyErrorAndNothingIsWritten) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--lock-timeout", "1"});
    const auto before = Stored();
    TakeLock();
    const Json answer = Store(server.Port(), "2032-03-03T00:00:00");
    ReleaseLock();
    ASSERT_TRUE(answer.contains("error")) << answer;
    EXPECT_EQ(answer["error"]["code"], -32000);
    EXPECT_EQ(answer["error"]["message"], "O banco de dados está ocupado. Tente novamente.");
    EXPECT_EQ(Stored(), before);
    // The lock gone, the next store goes through.
    EXPECT_TRUE(Store(server.Port(), "2032-03-04T00:00:00").contains("result"));
}

INSTANTIATE_TEST_SUITE_P(Backends, LockHeldElsewhere, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
