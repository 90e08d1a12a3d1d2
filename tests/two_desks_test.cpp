// Two clerks at their desks at once, each a headless host: the second confirm over a date it
// did not see is refused with who stored it, and the next confirm stores.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "support/backends.h"
#include "support/host_process.h"
#include "support/rpc_client.h"
#include "testkit/server_process.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Backend;
using testing_support::Json;

// Two desks, each a headless host with its screen open on series 1, on one server or on one
// server each over the same database.
class TwoDesks : public ::testing::TestWithParam<Backend> {
protected:
    TwoDesks() : database(GetParam()) { database.LoadDemo(); }
    std::optional<std::string> Control(const std::string& code) {
        return database.QueryText("SELECT DTEMISCTNUNF FROM CTRLNUMENF WHERE CDCTRLNUMENF = '" + code + "'");
    }
    std::unique_ptr<testing_support::HostProcess> Desk(unsigned short port, const std::string& user) {
        auto desk = std::make_unique<testing_support::HostProcess>(
            HOST_EXE, std::vector<std::string>{"--server", "127.0.0.1:" + std::to_string(port), "--db", database.Url()},
            data_home.string());
        desk->Send("set EmprProc 01\nset IEstProc 110042490114\nset IMunProc 4587123\nset FiliProc 1\n"
                   "set DataProc 1 10/12/2024\nset Usuario " + user + "\nopen\nfocus edtCdSerie\ntype 1\ntab");
        return desk;
    }
    testing_support::TestDatabase database;
    fs::path data_home = fs::temp_directory_path() / ("vor17000_desks_" + std::to_string(::getpid()));
};

TEST_P(TwoDesks, TheSecondConfirmIsRefusedShowsTheNewDateAndTheNextConfirmStores) {
    for (const bool two_servers : {false, true}) {
        SCOPED_TRACE(two_servers ? "two servers" : "one server");
        database.Execute("UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2023-12-31 00:00:00' WHERE CDCTRLNUMENF = 'CTRL01'");
        database.Execute("DELETE FROM HISTDTEMISSAO");
        testing_support::ServerProcess first(database.Url(), {"--quiet"});
        testing_support::ServerProcess second(database.Url(), {"--quiet"});
        auto maria = Desk(first.Port(), "maria.silva");
        auto joao = Desk(two_servers ? second.Port() : first.Port(), "joao");
        ASSERT_EQ(maria->Ask("state")["controls"]["depDtUltEmiss"]["text"], "31/12/2023");
        ASSERT_EQ(joao->Ask("state")["controls"]["depDtUltEmiss"]["text"], "31/12/2023");
        maria->Ask("events");
        maria->Send("type 10012024\nclick sbtConfirma");
        EXPECT_FALSE(maria->Ask("state")["open"]);
        joao->Ask("events");
        joao->Send("type 02012024\nclick sbtConfirma");
        const Json events = joao->Ask("events")["events"];
        const auto error = std::find_if(events.begin(), events.end(), [](const Json& e) { return e["type"] == "error"; });
        ASSERT_NE(error, events.end()) << events;
        EXPECT_EQ((*error)["text"],
                  "A data de emissão do controle CTRL01 foi alterada para 10/01/2024 por maria.silva enquanto esta "
                  "tela estava aberta. Confira a data e confirme de novo.");
        const Json state = joao->Ask("state");
        EXPECT_TRUE(state["open"]);
        EXPECT_EQ(state["controls"]["depDtUltEmiss"]["text"], "10/01/2024");  // the date stored meanwhile
        EXPECT_EQ(state["controls"]["depProxDtEmiss"]["text"], "02/01/2024");  // the clerk's own, kept
        EXPECT_EQ(state["focus"], "depProxDtEmiss");
        joao->Send("click sbtConfirma");
        EXPECT_FALSE(joao->Ask("state")["open"]);
        EXPECT_EQ(Control("CTRL01"), "2024-01-02 00:00:00");
        EXPECT_EQ(database.QueryText("SELECT COUNT(*) FROM HISTDTEMISSAO"), "2");  // one row per store
        maria.reset();
        joao.reset();
    }
    fs::remove_all(data_home);
}

INSTANTIATE_TEST_SUITE_P(Backends, TwoDesks, testing_support::AllBackends(), testing_support::BackendName);

}  // namespace
