#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "core/datetime.h"
#include "core/exceptions.h"

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
    EXPECT_FALSE(TryIsoToDateTime("24-03-05"));
}

TEST(DateTime, DatabaseFormsReadWithAnyFractionCutAtTheMillisecond) {
    const TDateTime day = EncodeDate(2024, 4, 1);
    EXPECT_EQ(TryIsoToDateTime("2024-04-01 09:15"), day + EncodeTime(9, 15, 0, 0));
    EXPECT_EQ(TryIsoToDateTime("2024-04-01T09:15:00.123456"), day + EncodeTime(9, 15, 0, 123));
    EXPECT_EQ(TryIsoToDateTime("2024-04-01 09:15:00.1"), day + EncodeTime(9, 15, 0, 100));
    EXPECT_EQ(TryIsoToDateTime("2024-04-01 23:59:59.999999999"), day + EncodeTime(23, 59, 59, 999));
    EXPECT_EQ(DateToStr(*TryIsoToDateTime("2024-04-01 23:59:59.999999999")), "01/04/2024");
    EXPECT_FALSE(TryIsoToDateTime("2024-04-01 09:15:00.1234567890"));  // ten digits
    EXPECT_FALSE(TryIsoToDateTime("2024-04-01 09:15:00."));
    EXPECT_FALSE(TryIsoToDateTime("2024-04-01 09"));
}

TEST(DateTime, AZoneIsRefusedOnTheWireAndTurnedIntoLocalTimeFromADatabase) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    ::setenv("TZ", "America/Sao_Paulo", 1);  // UTC-3, no daylight saving since 2019
    ::tzset();
    const TDateTime nine = EncodeDate(2024, 4, 1) + EncodeTime(9, 15, 0, 0);
    EXPECT_FALSE(TryIsoToDateTime("2024-04-01T12:15:00Z"));
    EXPECT_EQ(TryIsoToDateTime("2024-04-01T12:15:00Z", ZoneSuffix::ToLocalTime), nine);
    EXPECT_EQ(TryIsoToDateTime("2024-04-01 09:15:00-03", ZoneSuffix::ToLocalTime), nine);
    EXPECT_EQ(TryIsoToDateTime("2024-04-01 14:15:00.000+02:00", ZoneSuffix::ToLocalTime), nine);
    EXPECT_EQ(TryIsoToDateTime("2024-04-01 17:45:00+0530", ZoneSuffix::ToLocalTime), nine);
    // A local mean time offset, as PostgreSQL writes one (São Paulo's was -03:06:28 until 1914).
    EXPECT_EQ(TryIsoToDateTime("1900-01-01 08:53:32-03:06:28", ZoneSuffix::ToLocalTime),
              EncodeDate(1900, 1, 1) + EncodeTime(8, 53, 32, 0));
    EXPECT_FALSE(TryIsoToDateTime("2024-04-01 09:15:00+3", ZoneSuffix::ToLocalTime));
    if (saved != nullptr) {
        ::setenv("TZ", previous.c_str(), 1);
    } else {
        ::unsetenv("TZ");
    }
    ::tzset();
}

namespace {

// The value written as ISO text and read back is the same date and time to the millisecond.
::testing::AssertionResult RoundTrips(TDateTime day, const TimeParts& time) {
    const DateParts date = DecodeDate(day);
    const TDateTime value = CombineDateTime(day, EncodeTime(time.hour, time.minute, time.second, time.millisecond));
    const std::string iso = DateTimeToIso(value);
    const auto back = TryIsoToDateTime(iso);
    if (!back) return ::testing::AssertionFailure() << iso << " is not read back";
    const DateParts d = DecodeDate(*back);
    const TimeParts t = DecodeTime(*back);
    if (d.year == date.year && d.month == date.month && d.day == date.day && t.hour == time.hour &&
        t.minute == time.minute && t.second == time.second && t.millisecond == time.millisecond)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << iso << " read back as " << DateTimeToIso(*back);
}

}  // namespace

TEST(DateTime, TheDaysThatMatterRoundTripAtEveryTimeOfDay) {
    // Days before 30/12/1899 count down while their time of day counts up.
    EXPECT_EQ(CombineDateTime(EncodeDate(1899, 12, 29), EncodeTime(6, 0, 0, 0)), -1.25);
    const DateParts days[] = {
        {1, 1, 1},        {1, 12, 31},     {4, 2, 29},       {100, 2, 28},    {400, 2, 29},    {1582, 10, 4},
        {1582, 10, 15},   {1899, 12, 28},  {1899, 12, 29},   {1899, 12, 30},  {1899, 12, 31},  {1900, 1, 1},
        {1900, 2, 28},    {1900, 3, 1},    {1969, 12, 31},   {1970, 1, 1},    {1999, 12, 31},  {2000, 1, 1},
        {2000, 2, 29},    {2023, 1, 31},   {2023, 2, 28},    {2023, 3, 31},   {2023, 4, 30},   {2023, 5, 31},
        {2023, 6, 30},    {2023, 7, 31},   {2023, 8, 31},    {2023, 9, 30},   {2023, 10, 31},  {2023, 11, 30},
        {2023, 12, 31},   {2024, 2, 29},   {2038, 1, 19},    {2038, 1, 20},   {2100, 2, 28},   {2100, 3, 1},
        {9999, 12, 30},   {9999, 12, 31},
    };
    const TimeParts times[] = {{0, 0, 0, 0}, {0, 0, 0, 1}, {6, 0, 0, 0}, {12, 0, 0, 0}, {12, 30, 15, 250},
                               {18, 0, 0, 0}, {23, 59, 59, 999}};
    for (const DateParts& date : days) {
        const TDateTime day = EncodeDate(date.year, date.month, date.day);
        for (const TimeParts& time : times) EXPECT_TRUE(RoundTrips(day, time));
    }
    EXPECT_EQ(DateTimeToIso(*TryIsoToDateTime("1899-12-29T06:00:00")), "1899-12-29T06:00:00");
    EXPECT_EQ(DateTimeToStr(*TryStrToDateTime("29/12/1899 06:00")), "29/12/1899 06:00:00");
}

TEST(DateTime, EverySecondOfADayBeforeTheEpochRoundTrips) {
    // The day just before the epoch: a negative whole part with the time of day counting up.
    const TDateTime day = EncodeDate(1899, 12, 29);
    for (int second = 0; second < 24 * 60 * 60; ++second) {
        const TimeParts time{second / 3600, second / 60 % 60, second % 60, 0};
        ASSERT_TRUE(RoundTrips(day, time));
    }
}
