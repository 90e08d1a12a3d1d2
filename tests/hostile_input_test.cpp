// Input meant to store in the wrong place, a lock held by another program and a database
// made read-only, each against a real server process on both databases: the store is
// refused or waits, reads go on, and nothing is stored in the wrong place.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include <soci/soci.h>

#include "hostlib/db/data_module.h"
#include "support/backends.h"
#include "support/rpc_client.h"
#include "testkit/eventually.h"
#include "testkit/server_process.h"

using testing_support::Answer;
using testing_support::Backend;
using testing_support::Json;
using testing_support::Rpc;
using testing_support::RpcPost;

namespace {

class HostileInput : public ::testing::TestWithParam<Backend> {
protected:
    HostileInput() : database(GetParam()) { database.LoadDemo(); }
    std::optional<std::string> Control(const std::string& code) {
        return database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + code + "'");
    }
    testing_support::TestDatabase database;
};

// ---- data stored in the wrong place

TEST_P(HostileInput, ATextWithANulIsRefusedAndStoresNothing) {
    testing_support::ServerProcess server(database.Url(), {"--quiet"});
    const std::string nul_code = std::string("CTRL03") + '\0' + "junk";
    for (const auto& request :
         {Rpc("UpdateCtrlNumNF", {"2031-01-01T00:00:00", nul_code}),
          Rpc("UpDtLocal", {"2031-01-01T00:00:00", std::string("0002") + '\0'}),
          Rpc("GetSerieNF", {"01", "110042490114", "", std::string("3") + '\0', ""}), Rpc("GetMaxData", {nul_code})}) {
        const Json answer = Answer(server.Port(), request);
        EXPECT_EQ(answer["error"]["code"], -32602) << answer;
    }
    EXPECT_EQ(Control("CTRL03"), std::nullopt);
    EXPECT_EQ(database.QueryText("SELECT DTULTEMISLCE FROM LOCALEMISSAO WHERE CDLOCALEMIS = '0002'"), std::nullopt);
}

TEST_P(HostileInput, ReadsAreNotHeldBehindALockHeldElsewhere) {
    testing_support::ServerProcess server(database.Url(), {"--quiet", "--lock-timeout", "5"});
    hostlib::TdtmDBGeral locker(nullptr, "dtmOutroPrograma");
    locker.Open(database.Url());
    database.HoldRowLock(locker.Session(), "CTRL01");
    std::atomic<bool> stored{false};
    std::thread store([&] {
        Answer(server.Port(), Rpc("UpdateCtrlNumNF", {"2031-02-02T00:00:00", "CTRL01"}));
        stored = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the store is waiting now
    for (int i = 0; i < 20; ++i) {
        const Json read = Answer(server.Port(), Rpc("GetSerieNF", {"01", "110042490114", "", "2", ""}));
        if (!read.contains("result")) {
            ADD_FAILURE() << read;  // not ASSERT: the lock must still be let go and the thread joined
            break;
        }
    }
    EXPECT_FALSE(stored) << "the reads waited for the store";
    locker.Session() << "COMMIT";
    store.join();
    EXPECT_EQ(Control("CTRL01"), "2031-02-02 00:00:00");
}

TEST_P(HostileInput, AReadOnlyDatabaseIsAClearErrorAndServiceComesBackWithTheRights) {
    database.SetReadOnly(true);
    testing_support::ServerProcess server(database.Url(), {}, database.RightsBindingServer());
    const Json refused = Answer(server.Port(), Rpc("UpdateCtrlNumNF", {"2031-03-03T00:00:00", "CTRL01"}));
    EXPECT_EQ(refused["error"]["code"], -32000) << refused;
    EXPECT_EQ(refused["error"]["message"],
              "O banco de dados não aceita gravações (somente leitura). Avise o administrador.");
    EXPECT_NE(server.Log().find("somente leitura"), std::string::npos) << server.Log();
    // The administrator gives the rights back: the next store goes through, no restart.
    database.SetReadOnly(false);
    // Within a few seconds at most: every session of the server lets go of the read-only view.
    Json stored;
    EXPECT_TRUE(testing_support::Eventually(
        std::chrono::seconds(6),
        [&] {
            stored = Answer(server.Port(), Rpc("UpdateCtrlNumNF", {"2031-03-03T00:00:00", "CTRL01"}));
            return stored.contains("result");
        },
        std::chrono::milliseconds(200)))
        << stored;
}

INSTANTIATE_TEST_SUITE_P(Backends, HostileInput, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
