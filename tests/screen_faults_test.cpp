// Faults the screen meets: the server away when it opens, or restarted while it is open.
#include <gtest/gtest.h>

#include "support/proposal_fixture.h"

using testing_support::CallerMode;

namespace {

class ScreenFaults : public testing_support::ProposalFixture {};

TEST_P(ScreenFaults, TheServerDownWhenTheScreenOpensAndUpAfterwards) {
    harness.server.Stop();
    Open(CallerMode::Off);
    harness.host.events.clear();
    // Opening showed the failure and the screen is open with its defaults.
    EXPECT_TRUE(Cli_Vor17000::boIdCriado);
    EXPECT_EQ(screen->edtNmEmpresa.Text(), "Comercial Aurora Ltda");
    harness.server.Restart();
    LeaveSeries("1");
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(Next(), "01/01/2024");
}

TEST_P(ScreenFaults, TheServerRestartedMidSessionIsReconnectedOnTheNextCall) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    harness.server.Restart();
    LeaveSeries("2");
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(Next(), "29/02/2024");
}

INSTANTIATE_TEST_SUITE_P(Backends, ScreenFaults, testing_support::ScreenBackends(), testing_support::BackendName);

}  // namespace
