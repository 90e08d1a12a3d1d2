#include <gtest/gtest.h>

#include "hostlib/datetime.h"
#include "hostlib/exceptions.h"

using namespace hostlib;

TEST(DateTime, EpochAndKnownSerials) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
    EXPECT_EQ(EncodeDate(2024, 2, 29), 45351.0);
    EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
}

TEST(DateTime, OneDayLaterRollsOverByTheCalendar) {
    EXPECT_EQ(DateToStr(EncodeDate(2024, 12, 31) + 1), "01/01/2025");
    EXPECT_EQ(DateToStr(EncodeDate(2024, 2, 28) + 1), "29/02/2024");
    EXPECT_EQ(DateToStr(EncodeDate(2023, 2, 28) + 1), "01/03/2023");
    EXPECT_EQ(DateToStr(EncodeDate(2100, 2, 28) + 1), "01/03/2100");  // not a leap year
    EXPECT_EQ(DateToStr(EncodeDate(2000, 2, 28) + 1), "29/02/2000");  // a leap year
}

TEST(DateTime, WeekdaysFromSundayOne) {
    EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 30)), 7);  // a Saturday
    EXPECT_EQ(DayOfWeek(EncodeDate(2024, 12, 1)), 1);   // a Sunday
    EXPECT_EQ(DayOfWeek(EncodeDate(2026, 12, 7) + 0.75), 2);
}

TEST(DateTime, TextFormatsKeepTheTimeOfDay) {
    const TDateTime value = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 0);
    EXPECT_EQ(DateToStr(value), "05/03/2024");
    EXPECT_EQ(TimeToStr(value), "14:07:09");
    EXPECT_EQ(DateTimeToStr(value), "05/03/2024 14:07:09");
    EXPECT_EQ(DateTimeToStr(DateOf(value)), "05/03/2024");
    EXPECT_EQ(DateTimeToIso(value), "2024-03-05T14:07:09");
    EXPECT_EQ(DateTimeToIso(value, ' '), "2024-03-05 14:07:09");
}

TEST(DateTime, ParsesShortDatesStrictly) {
    EXPECT_EQ(TryStrToDate("31/12/2024"), EncodeDate(2024, 12, 31));
    EXPECT_EQ(TryStrToDate("1/2/2024"), EncodeDate(2024, 2, 1));
    EXPECT_FALSE(TryStrToDate("31/02/2024"));
    EXPECT_FALSE(TryStrToDate("29/02/2023"));
    EXPECT_FALSE(TryStrToDate("3 /  /    "));
    EXPECT_FALSE(TryStrToDate("01/01/2   "));  // a year still being typed
    EXPECT_FALSE(TryStrToDate("01/01/202"));
    EXPECT_FALSE(TryStrToDate("01/01/20245"));
    EXPECT_FALSE(TryStrToDate("12/31/2024"));
    EXPECT_FALSE(TryStrToDate(""));
    EXPECT_FALSE(TryStrToDate("01/01/2024 10:00"));  // a date-time is no plain date
    EXPECT_EQ(TryStrToDateTime("01/01/2024 10:00"), EncodeDate(2024, 1, 1) + EncodeTime(10, 0, 0, 0));
    EXPECT_FALSE(TryStrToDateTime("01/01/2024 25:00"));
    try {
        StrToDate("31/02/2024");
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'31/02/2024' não é uma data válida.");
    }
}

TEST(DateTime, IsoRoundTripsWithMilliseconds) {
    const auto value = TryIsoToDateTime("2024-03-05T14:07:09.250");
    ASSERT_TRUE(value);
    EXPECT_EQ(DateTimeToIso(*value), "2024-03-05T14:07:09.250");
    EXPECT_EQ(TryIsoToDateTime("2024-03-05"), EncodeDate(2024, 3, 5));
    EXPECT_EQ(TryIsoToDateTime("2024-03-05 00:00:01"), EncodeDate(2024, 3, 5) + EncodeTime(0, 0, 1, 0));
    EXPECT_FALSE(TryIsoToDateTime("2024-02-30T00:00:00"));
    EXPECT_FALSE(TryIsoToDateTime("2024-03-05X10:00:00"));
    EXPECT_FALSE(TryIsoToDateTime("2024-03-05T10:00:00Z"));
    EXPECT_FALSE(TryIsoToDateTime("24-03-05"));
}
