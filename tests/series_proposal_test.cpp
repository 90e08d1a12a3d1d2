// Leaving the series field: validation on the server, the location row, and every row of
// the date proposal, each case chosen so that swapping it with its neighbour would fail.
#include <gtest/gtest.h>

#include "support/proposal_fixture.h"

using namespace hostlib;
using testing_support::CallerMode;
using testing_support::kProcessingDateAlert;

namespace {

class SeriesProposal : public testing_support::ProposalFixture {};

// ---- location series

TEST_P(SeriesProposal, LocationAndProcessingDateInCallerMode) {
    Open(CallerMode::On);
    LeaveSeries("8");
    EXPECT_TRUE(LocationRowEnabled());
    EXPECT_EQ(Last(), "10/12/2024");
    EXPECT_EQ(Next(), "10/12/2024");
    EXPECT_TRUE(NextEnabled());
    EXPECT_TRUE(Alerts().empty());
    EXPECT_EQ(harness.Focus(), "edtCdLocal");
}

TEST_P(SeriesProposal, LocationAndProcessingDateOutOfCallerMode) {
    Open(CallerMode::Off);
    LeaveSeries("8");
    EXPECT_TRUE(LocationRowEnabled());
    EXPECT_EQ(Last(), "10/12/2024");
    EXPECT_EQ(Next(), "10/12/2024");
    EXPECT_FALSE(NextEnabled());
    EXPECT_TRUE(Alerts().empty());  // no alert at this point
    EXPECT_EQ(harness.Focus(), "edtCdLocal");
}

TEST_P(SeriesProposal, LocationSeriesLeavesTheDatesToTheLocation) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    EXPECT_TRUE(LocationRowEnabled());
    EXPECT_EQ(Last(), "");
    EXPECT_EQ(Next(), "");
    EXPECT_TRUE(NextEnabled());                 // as the change of series left it
    EXPECT_FALSE(screen->cdsMaxData.Active());  // no latest-invoice call
    EXPECT_EQ(harness.Focus(), "edtCdLocal");
}

// ---- series without location, control with a last issue date

TEST_P(SeriesProposal, TheDayAfterTheLastIssueDateAcrossTheYearEnd) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    EXPECT_TRUE(LocationRowDisabled());
    EXPECT_EQ(Last(), "31/12/2023");
    EXPECT_EQ(Next(), "01/01/2024");
    EXPECT_TRUE(NextEnabled());
    EXPECT_EQ(screen->medDiaSem.Text(), "Domingo");  // both weekdays follow at once
    EXPECT_EQ(screen->medProxDiaSem.Text(), "Segunda-feira");
    EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
    EXPECT_TRUE(Alerts().empty());
}

TEST_P(SeriesProposal, LeapDayAndNonLeapMonthEnd) {
    Open(CallerMode::Off);
    LeaveSeries("2");
    EXPECT_EQ(Last(), "28/02/2024");
    EXPECT_EQ(Next(), "29/02/2024");
    harness.database.Execute(
        "UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2023-02-28 00:00:00' WHERE CDCTRLNUMENF = 'CTRL02'");
    LeaveSeries("2");
    EXPECT_EQ(Next(), "01/03/2023");
}

TEST_P(SeriesProposal, InCallerModeTooWhenTheSeriesDoesNotUseTheProcessingDate) {
    Open(CallerMode::On);
    LeaveSeries("1");
    EXPECT_EQ(Last(), "31/12/2023");
    EXPECT_EQ(Next(), "01/01/2024");
}

TEST_P(SeriesProposal, ProcessingDateSeriesInCallerModeProposesTheDayAfter) {
    Open(CallerMode::On);
    LeaveSeries("5");
    EXPECT_EQ(Last(), "10/01/2024");
    EXPECT_EQ(Next(), "11/01/2024");
    EXPECT_TRUE(NextEnabled());
    EXPECT_TRUE(Alerts().empty());
    EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
}

TEST_P(SeriesProposal, ProcessingDateSeriesOutOfCallerModeFillsAndAlerts) {
    Open(CallerMode::Off);
    LeaveSeries("5");
    EXPECT_EQ(Last(), "10/12/2024");
    EXPECT_EQ(Next(), "10/12/2024");
    EXPECT_FALSE(NextEnabled());
    ASSERT_EQ(Alerts(), (std::vector<std::string>{kProcessingDateAlert}));
    const auto& alert = harness.host.events.back();
    EXPECT_EQ(alert.items, (std::vector<std::string>{"OK"}));
    EXPECT_EQ(harness.Focus(), "medCdEmpresa");
}

// ---- series without location, control without a last issue date

TEST_P(SeriesProposal, TheLatestInvoicesOwnDayAndTheLastLeftAlone) {
    Open(CallerMode::Off);
    LeaveSeries("3");
    EXPECT_EQ(Last(), "");
    EXPECT_EQ(Next(), "15/05/2024");  // not the day after, and without the time of day
    EXPECT_TRUE(NextEnabled());
    EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
}

TEST_P(SeriesProposal, NoInvoiceAtAllProposesTheProcessingDate) {
    Open(CallerMode::Off);
    LeaveSeries("4");
    EXPECT_EQ(Last(), "");
    EXPECT_EQ(Next(), "10/12/2024");
    EXPECT_TRUE(NextEnabled());
    EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
}

TEST_P(SeriesProposal, CallerModeTakesTheLatestInvoiceOrKeepsTheField) {
    Open(CallerMode::On);
    LeaveSeries("6");
    EXPECT_EQ(Last(), "");
    EXPECT_EQ(Next(), "20/03/2024");
    EXPECT_TRUE(NextEnabled());
    EXPECT_TRUE(Alerts().empty());
    harness.database.Execute("DELETE FROM NOTAFISCAL WHERE CDCTRLNUMENF = 'CTRL06'");
    LeaveSeries("6");
    EXPECT_EQ(Next(), "");  // kept as the change of series left it
    EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
}

TEST_P(SeriesProposal, OutOfCallerModeFillsTheProcessingDateAndAlerts) {
    Open(CallerMode::Off);
    LeaveSeries("6");
    EXPECT_EQ(Last(), "10/12/2024");
    EXPECT_EQ(Next(), "10/12/2024");
    EXPECT_FALSE(NextEnabled());
    EXPECT_EQ(Alerts().size(), 1u);
    EXPECT_TRUE(screen->cdsMaxData.Active());  // asked, though not used
    EXPECT_EQ(harness.Focus(), "medCdEmpresa");
}

TEST_P(SeriesProposal, FlagsCountOnlyWhenExactlyUpperCaseS) {
    Open(CallerMode::Off);
    LeaveSeries("MIN");  // flags "n", "s", "s"
    EXPECT_TRUE(LocationRowDisabled());
    EXPECT_EQ(Last(), "31/05/2024");
    EXPECT_EQ(Next(), "01/06/2024");
    EXPECT_TRUE(Alerts().empty());
}

// ---- failures and the location row

TEST_P(SeriesProposal, LeavingAnEmptySeriesAsksNothingAndChangesNothing) {
    Open(CallerMode::Off);
    screen->UserFocus(screen->edtCdSerie);
    screen->UserTab(TabDirection::Forward);
    EXPECT_FALSE(screen->cdsSerieNF.Active());
    EXPECT_TRUE(harness.host.events.empty());
    EXPECT_TRUE(LocationRowDisabled());
}

TEST_P(SeriesProposal, UnregisteredSeriesIsReportedAndTheLocationRowKeepsItsState) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    ASSERT_TRUE(LocationRowEnabled());
    harness.host.events.clear();
    LeaveSeries("ZZ");
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Série de documentos de saída não cadastrada."}));
    EXPECT_TRUE(LocationRowEnabled());
    EXPECT_EQ(Last(), "");
    EXPECT_EQ(Next(), "");
    EXPECT_TRUE(screen->cdsSerieNF.IsEmpty());
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
}

TEST_P(SeriesProposal, SeriesOfAnotherMunicipalRegistrationIsNotRegistered) {
    Open(CallerMode::Off);
    LeaveSeries("M9");
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"Série de documentos de saída não cadastrada."}));
    harness.host.events.clear();
    LeaveSeries("M");
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(Next(), "01/01/2024");
}

TEST_P(SeriesProposal, SeriesWithoutNumberingControlIsReported) {
    Open(CallerMode::Off);
    LeaveSeries("9");
    EXPECT_EQ(harness.Errors(),
              (std::vector<std::string>{"Controle de numeração de NF não cadastrado para a série informada."}));
    EXPECT_EQ(screen->cdsSerieNF.RecordCount(), 1u);  // the row stays loaded
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
}

TEST_P(SeriesProposal, ChoosingASeriesWithoutLocationClearsTheLocationRow) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("1");
    ASSERT_EQ(screen->edtDsLocal.Text(), "Matriz - São Paulo");
    LeaveSeries("1");
    EXPECT_TRUE(LocationRowDisabled());
    EXPECT_EQ(screen->edtCdLocal.Text(), "");
    EXPECT_EQ(screen->edtDsLocal.Text(), "");
}

TEST_P(SeriesProposal, ServerDownDuringTheSeriesLookupGivesTheFocusBack) {
    Open(CallerMode::Off);
    harness.server.Stop();
    LeaveSeries("1");
    ASSERT_EQ(harness.host.Types(), (std::vector<std::string>{"exception"}));
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
    harness.server.Restart();
    harness.host.events.clear();
    LeaveSeries("1");
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_EQ(Next(), "01/01/2024");
}

TEST_P(SeriesProposal, LatestInvoiceFailureAfterTheLocationRowWasCleared) {
    Open(CallerMode::Off);
    LeaveSeries("7");
    LeaveLocation("1");
    harness.database.Execute("DROP TABLE NOTAFISCAL");  // the server can no longer answer GetMaxData
    harness.host.events.clear();
    LeaveSeries("3");
    ASSERT_EQ(harness.host.Types(), (std::vector<std::string>{"exception"}));
    EXPECT_TRUE(LocationRowDisabled());
    EXPECT_EQ(screen->edtCdLocal.Text(), "");
    EXPECT_EQ(Last(), "");
    EXPECT_EQ(Next(), "");
    EXPECT_EQ(harness.Focus(), "edtCdSerie");
}

TEST_P(SeriesProposal, LeavingTheSameSeriesAgainAsksTheServerAgain) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    harness.database.Execute(
        "UPDATE CTRLNUMENF SET DTEMISCTNUNF = '2024-06-30 00:00:00' WHERE CDCTRLNUMENF = 'CTRL01'");
    screen->UserFocus(screen->edtCdSerie);
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(Next(), "01/07/2024");
}

// ---- the date panel

TEST_P(SeriesProposal, EnteringThePanelWithoutASeriesSendsTheFocusToTheCompany) {
    Open(CallerMode::Off);
    screen->depProxDtEmiss.SetEnabled(true);
    screen->lblProxData.SetEnabled(true);
    screen->UserFocus(screen->panData);
    EXPECT_FALSE(NextEnabled());
    EXPECT_FALSE(screen->lblProxData.Enabled());
    EXPECT_EQ(harness.Focus(), "medCdEmpresa");
}

TEST_P(SeriesProposal, EnteringThePanelWithASeriesFocusesTheNextDate) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    screen->depProxDtEmiss.SetEnabled(false);
    screen->UserFocus(screen->panData);
    EXPECT_TRUE(NextEnabled());
    EXPECT_TRUE(screen->lblProxData.Enabled());
    EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
}

TEST_P(SeriesProposal, EnteringThePanelForAProcessingDateSeries) {
    Open(CallerMode::On);
    LeaveSeries("5");
    screen->depProxDtEmiss.SetEnabled(false);
    screen->UserFocus(screen->panData);  // caller mode: left as it is
    EXPECT_FALSE(NextEnabled());
    EXPECT_EQ(harness.Focus(), "medCdEmpresa");
    Cli_Vor17000::boDataEmis = false;
    screen->depProxDtEmiss.SetEnabled(true);
    screen->lblProxData.SetEnabled(true);
    screen->UserFocus(screen->panData);  // not caller mode: disabled
    EXPECT_FALSE(NextEnabled());
    EXPECT_FALSE(screen->lblProxData.Enabled());
}

INSTANTIATE_TEST_SUITE_P(Backends, SeriesProposal, testing_support::ScreenBackends(), testing_support::BackendName);

}  // namespace
