// A screen left open: it sees another connection's write when it reads again, and holds no
// transaction between requests, so SQLite's log checkpoints.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/backends.h"
#include "support/proposal_fixture.h"

using namespace hostlib;
using testing_support::Backend;

namespace {

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

}  // namespace
