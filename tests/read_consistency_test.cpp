// Reads and stores mixed as the screen mixes them, through a server process with several
// workers: no store refused, no read older than the store acknowledged before it, and no
// session left inside a transaction between requests (SQLite's log then checkpoints).
#include <gtest/gtest.h>

#include <soci/soci.h>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/datetime.h"
#include "support/backends.h"
#include "support/proposal_fixture.h"
#include "testkit/server_process.h"

using Json = nlohmann::json;
using testing_support::Backend;
using testing_support::RawHttpConnection;
using testing_support::RpcPost;

namespace {

enum class Connection { PerRequest, KeepAlive };

struct Workload {
    const char* name;
    Connection connection;
    // The screen's Confirm asks GetMaxData then stores; a lookup reads the series back.
    bool screen_order;
};

class ReadConsistency : public ::testing::TestWithParam<std::tuple<Backend, Workload>> {
protected:
    ReadConsistency() : database(std::get<0>(GetParam())) { database.LoadDemo(); }

    testing_support::TestDatabase database;
};

Json Call(RawHttpConnection& connection, const std::string& method, const Json& params) {
    const Json request = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}};
    const auto response = connection.Exchange(RpcPost(request.dump()));
    if (response.status != 200) return Json{{"error", {{"message", "HTTP " + std::to_string(response.status)}}}};
    return Json::parse(response.body);
}

TEST_P(ReadConsistency, EveryStoreIsTakenAndReadBackByTheNextRequest) {
    const Workload workload = std::get<1>(GetParam());
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--threads", "4"});
    std::unique_ptr<RawHttpConnection> kept;
    auto connection = [&]() -> RawHttpConnection& {
        if (workload.connection == Connection::PerRequest || !kept) {
            kept = std::make_unique<RawHttpConnection>(server.Port());
        }
        return *kept;
    };
    int refused = 0;
    int stale = 0;
    std::string first_problem;
    constexpr int kRounds = 300;
    for (int round = 0; round < kRounds; ++round) {
        // Every round a date no round stored before.
        const std::string date = hostlib::DateTimeToIso(hostlib::EncodeDate(2030, 1, 1) + round);
        if (workload.screen_order) {
            Call(connection(), "GetSerieNF", {"01", "110042490114", "", "1", ""});
        }
        Call(connection(), "GetMaxData", {"CTRL01"});
        const Json stored = Call(connection(), "UpdateCtrlNumNF", {date, "CTRL01"});
        if (stored.contains("error")) {
            if (refused++ == 0) first_problem = stored.dump();
            continue;
        }
        const Json read = Call(connection(), "GetSerieNF", {"01", "110042490114", "", "1", ""});
        if (read.contains("error") || read["result"]["rows"][0][3] != date) {
            if (stale++ == 0 && first_problem.empty()) first_problem = read.dump();
        }
    }
    EXPECT_EQ(refused, 0) << first_problem;
    EXPECT_EQ(stale, 0) << first_problem;
}

const Workload kWorkloads[] = {
    {"NewConnectionPerRequest", Connection::PerRequest, false},
    {"KeepAlive", Connection::KeepAlive, false},
    {"ScreenOrderNewConnectionPerRequest", Connection::PerRequest, true},
};

INSTANTIATE_TEST_SUITE_P(Backends, ReadConsistency,
                         ::testing::Combine(testing_support::AllBackends(), ::testing::ValuesIn(kWorkloads)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param) == Backend::SQLite ? "SQLite" : "PostgreSQL") +
                                    "_" + std::get<1>(test.param).name;
                         });

// ---- a screen left open

class OpenScreen : public testing_support::ProposalFixture {};

TEST_P(OpenScreen, SeesAnotherConnectionsWriteAndLetsTheLogCheckpoint) {
    Open();
    for (int i = 0; i < 40; ++i) {
        LeaveSeries(i % 2 == 0 ? "3" : "1");  // GetSerieNF, and GetMaxData for series 3
        screen->Vd_Empresa(false);            // the host's own queries
        screen->Vd_Inscricao(false);
    }
    ASSERT_TRUE(harness.Errors().empty()) << harness.Errors().front();
    harness.database.Execute(
        "UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2031-07-01 00:00:00' WHERE CDCTRLNUMENF = 'CTRL01'");
    harness.database.Execute("UPDATE EMPRESA SET NMEMPRESA = 'Aurora Renomeada' WHERE CDEMPRESA = '01'");
    LeaveSeries("1");
    EXPECT_EQ(Last(), "01/07/2031");
    screen->Vd_Empresa(false);
    EXPECT_EQ(screen->edtNmEmpresa.Text(), "Aurora Renomeada");

    if (GetParam() != Backend::SQLite) return;
    // Only a reader parked on an old snapshot keeps a checkpoint from reaching the log's end.
    harness.database.Execute("PRAGMA busy_timeout = 2000");
    const std::string path = harness.database.Url().substr(7);
    ASSERT_GT(std::filesystem::file_size(path + "-wal"), 0u);
    EXPECT_EQ(harness.database.QueryText("PRAGMA wal_checkpoint(TRUNCATE)"), "0");  // not busy
    EXPECT_EQ(std::filesystem::file_size(path + "-wal"), 0u);
}

INSTANTIATE_TEST_SUITE_P(Backends, OpenScreen, testing_support::AllBackends(), testing_support::BackendName);

// ---- a lock held by another program

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
        RawHttpConnection connection(port);
        return Call(connection, "UpdateCtrlNumNF", {date, "CTRL01"});
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
