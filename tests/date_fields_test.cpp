// The date fields of the screen: the weekday beside each date, and a date that does not exist.
#include <gtest/gtest.h>

#include "support/proposal_fixture.h"

using namespace hostlib;
using testing_support::CallerMode;

namespace {

class DateFields : public testing_support::ProposalFixture {};

TEST_P(DateFields, TheWeekdayAppearsOnlyWhenTheTypedDateIsCompleteAndValid) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    ASSERT_EQ(harness.Focus(), "depProxDtEmiss");
    screen->UserClear();
    EXPECT_EQ(screen->medProxDiaSem.Text(), "");
    std::vector<std::string> weekdays;
    for (char digit : std::string("01012025")) {
        screen->UserKey(static_cast<char32_t>(digit));
        weekdays.push_back(screen->medProxDiaSem.Text());
    }
    EXPECT_EQ(weekdays, (std::vector<std::string>{"", "", "", "", "", "", "", "Quarta-feira"}));
    screen->UserKey(kKeyBackspace);
    EXPECT_EQ(screen->medProxDiaSem.Text(), "");
    EXPECT_TRUE(harness.Errors().empty());  // nothing shown while typing
}

TEST_P(DateFields, ADayThatDoesNotExistNeverShowsAWeekdayAndIsRefusedOnLeaving) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    screen->UserClear();
    harness.Type("31022024");
    EXPECT_EQ(Next(), "31/02/2024");
    EXPECT_EQ(screen->medProxDiaSem.Text(), "");
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"'31/02/2024' não é uma data válida."}));
    EXPECT_EQ(harness.Focus(), "depProxDtEmiss");
}

TEST_P(DateFields, AnEmptyOrPartlyTypedDate) {
    Open(CallerMode::Off);
    LeaveSeries("1");
    screen->UserClear();
    screen->UserTab(TabDirection::Forward);  // empty passes
    EXPECT_TRUE(harness.Errors().empty());
    EXPECT_NE(harness.Focus(), "depProxDtEmiss");
    screen->UserFocus(screen->depProxDtEmiss);
    harness.Type("3112");
    screen->UserTab(TabDirection::Forward);
    EXPECT_EQ(harness.Errors(), (std::vector<std::string>{"'31/12/    ' não é uma data válida."}));
}

TEST_P(DateFields, TheLastDateFollowsTheProgram) {
    Open(CallerMode::Off);
    screen->depDtUltEmiss.SetDate(EncodeDate(2024, 12, 1));
    EXPECT_EQ(screen->medDiaSem.Text(), "Domingo");
    screen->depDtUltEmiss.Clear();
    EXPECT_EQ(screen->medDiaSem.Text(), "");
    screen->depProxDtEmiss.SetDate(EncodeDate(2024, 2, 29));
    EXPECT_EQ(screen->medProxDiaSem.Text(), "Quinta-feira");
}

INSTANTIATE_TEST_SUITE_P(Backends, DateFields, ::testing::Values(testing_support::Backend::SQLite),
                         testing_support::BackendName);

}  // namespace
