// The issue location: validation, its description, and the first-pass date proposal.
#include <gtest/gtest.h>

#include "support/proposal_fixture.h"

using namespace hostlib;
using testing_support::CallerMode;
using testing_support::kProcessingDateAlert;

namespace {

class LocationProposal : public testing_support::ProposalFixture {};

TEST_P(LocationProposal, TheDayAfterTheLocationsLastIssueDate) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("1");
    EXPECT_EQ(screen->edtCdLocal.Text(), "0001");
    EXPECT_EQ(screen->edtDsLocal.Text(), "Matriz - São Paulo");
    EXPECT_EQ(Last(), "30/06/2024");
    EXPECT_EQ(Next(), "01/07/2024");
    EXPECT_TRUE(NextEnabled());
    EXPECT_FALSE(screen->cdsMaxData.Active());
    EXPECT_TRUE(Alerts().empty());
}

TEST_P(LocationProposal, YearEndOfTheLocation) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("3");
    EXPECT_EQ(Last(), "31/12/2024");
    EXPECT_EQ(Next(), "01/01/2025");
}

TEST_P(LocationProposal, ProcessingDateInCallerModeEnablesTheNextDate) {
    Open(CallerMode::On);
    LeaveSeries("8");
    screen->depProxDtEmiss.SetEnabled(false);
    LeaveLocation("1");
    EXPECT_EQ(Last(), "10/12/2024");
    EXPECT_EQ(Next(), "10/12/2024");
    EXPECT_TRUE(NextEnabled());
    EXPECT_TRUE(Alerts().empty());
}

TEST_P(LocationProposal, ProcessingDateOutOfCallerModeDisablesAndAlerts) {
    Open(CallerMode::Off);
    LeaveSeries("8");
    screen->depProxDtEmiss.SetEnabled(true);
    LeaveLocation("1");
    EXPECT_EQ(Last(), "10/12/2024");
    EXPECT_EQ(Next(), "10/12/2024");
    EXPECT_FALSE(NextEnabled());
    EXPECT_EQ(Alerts(), (std::vector<std::string>{kProcessingDateAlert}));
}

TEST_P(LocationProposal, NoLocationDateClearsTheLastAndTakesTheLatestInvoice) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    screen->depDtUltEmiss.SetDate(EncodeDate(2020, 1, 1));
    LeaveLocation("2");
    EXPECT_EQ(screen->edtDsLocal.Text(), "Filial - Campinas");
    EXPECT_EQ(Last(), "");  // cleared, unlike the series' own rule
    EXPECT_EQ(screen->medDiaSem.Text(), "");
    EXPECT_EQ(Next(), "12/03/2024");
    EXPECT_TRUE(Alerts().empty());
}

TEST_P(LocationProposal, NoInvoiceEitherProposesTheProcessingDate) {
    Open(CallerMode::Off);
    LeaveSeries("L");
    LeaveLocation("2");
    EXPECT_EQ(Last(), "");
    EXPECT_EQ(Next(), "10/12/2024");
}

TEST_P(LocationProposal, CallerModeFillsTheProcessingDateNotTheInvoices) {
    Open(CallerMode::On);
    harness.database.Execute("INSERT INTO NOTAFISCAL VALUES ('CTRL08', 1, '2024-04-04 00:00:00')");
    LeaveSeries("8");
    screen->depProxDtEmiss.SetEnabled(false);
    LeaveLocation("2");
    EXPECT_EQ(Last(), "10/12/2024");
    EXPECT_EQ(Next(), "10/12/2024");
    EXPECT_TRUE(NextEnabled());
    EXPECT_TRUE(screen->cdsMaxData.Active());
    EXPECT_TRUE(Alerts().empty());
}

TEST_P(LocationProposal, OutOfCallerModeDisablesAndAlertsOnce) {
    Open(CallerMode::Off);
    LeaveSeries("8");
    LeaveLocation("2");
    EXPECT_EQ(Last(), "10/12/2024");
    EXPECT_EQ(Next(), "10/12/2024");
    EXPECT_FALSE(NextEnabled());
    EXPECT_EQ(Alerts().size(), 1u);
}

TEST_P(LocationProposal, UnknownLocationIsReportedWithTheNormalisedCode) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("9");
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Local de emissão não cadastrado."}));
    EXPECT_EQ(screen->edtCdLocal.Text(), "0009");
    EXPECT_EQ(screen->edtDsLocal.Text(), "");
    EXPECT_EQ(harness.Focus(), "edtCdLocal");
}

TEST_P(LocationProposal, LeavingAnEmptyLocationDoesNothing) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    harness.host.events.clear();
    screen->UserTab(TabDirection::Forward);
    EXPECT_TRUE(harness.host.events.empty());
    EXPECT_FALSE(screen->qryVdLocalEmiss.Active());
}

TEST_P(LocationProposal, TypingClearsTheDescriptionAtOnce) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("1");
    screen->UserFocus(screen->edtCdLocal);
    screen->UserKey(kKeyBackspace);
    EXPECT_EQ(screen->edtCdLocal.Text(), "000");
    EXPECT_EQ(screen->edtDsLocal.Text(), "");
}

TEST_P(LocationProposal, AfterTheFirstPassTheSameLocationShowsItsLastDateAndKeepsTheTypedNext) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("1");
    Cli_Vor17000::boPrimVez = false;  // as a confirmation leaves it
    screen->depDtUltEmiss.Clear();
    screen->depProxDtEmiss.SetText("05/07/2024");
    LeaveLocation("1");
    EXPECT_EQ(screen->edtDsLocal.Text(), "Matriz - São Paulo");
    EXPECT_EQ(Last(), "30/06/2024");
    EXPECT_EQ(Next(), "05/07/2024");
    // Confirm's own validation still only checks the code.
    screen->depDtUltEmiss.Clear();
    screen->Vd_LocalEmiss(false);
    EXPECT_EQ(Last(), "");
}

TEST_P(LocationProposal, AfterARefusedConfirmAnotherLocationShowsItsOwnDates) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("2");  // no last date of its own: the latest invoice's day, 12/03/2024
    ASSERT_EQ(Last(), "");
    screen->depProxDtEmiss.SetText("01/03/2024");
    screen->UserClick(screen->sbtConfirma);  // refused: earlier than the invoice
    ASSERT_EQ(harness.Errors().size(), 1u);
    ASSERT_FALSE(Cli_Vor17000::boPrimVez);
    LeaveLocation("1");
    EXPECT_EQ(Last(), "30/06/2024");
    EXPECT_EQ(Next(), "01/07/2024");
    EXPECT_TRUE(Cli_Vor17000::boPrimVez == false);  // the first pass stays over
}

TEST_P(LocationProposal, EveryLeaveOfTheFirstPassProposesAnew) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("1");
    screen->UserFocus(screen->depProxDtEmiss);
    screen->UserClear();
    harness.Type("15072024");
    LeaveLocation("0001");
    EXPECT_EQ(Next(), "01/07/2024");  // the typed date is overwritten
}

TEST_P(LocationProposal, LatestInvoiceFailureLeavesTheDescriptionAndClearedLastDate) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    screen->depDtUltEmiss.SetDate(EncodeDate(2020, 1, 1));
    harness.database.Execute("DROP TABLE NOTAFISCAL");
    harness.host.events.clear();
    LeaveLocation("2");
    ASSERT_EQ(harness.host.Types(), (std::vector<std::string>{"exception"}));
    EXPECT_EQ(screen->edtDsLocal.Text(), "Filial - Campinas");
    EXPECT_EQ(Last(), "");
    EXPECT_EQ(harness.Focus(), "edtCdLocal");
}

TEST_P(LocationProposal, RequiredRulesOfTheLocation) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    EXPECT_THROW(screen->Vd_LocalEmiss(true), EAbort);
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Local de emissão deve ser informado."}));
    screen->edtCdLocal.SetText("77");
    screen->medCdEmpresa.SetFocus();
    EXPECT_NO_THROW(screen->Vd_LocalEmiss(true));  // not focused: accepted without a lookup
    EXPECT_EQ(screen->edtCdLocal.Text(), "77");
}

INSTANTIATE_TEST_SUITE_P(Backends, LocationProposal, testing_support::ScreenBackends(), testing_support::BackendName);

}  // namespace
