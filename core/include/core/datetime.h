#pragma once
// The platform's date-time: days since 30/12/1899, the time of day as the fraction.
#include <optional>
#include <string>
#include <string_view>

namespace hostlib {

using TDateTime = double;

struct DateParts {
    int year = 0;
    int month = 0;
    int day = 0;
};

struct TimeParts {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

bool IsValidDate(int year, int month, int day);
// Raises EConvertError for a date that does not exist.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
// A date and a time of day as one value, the way the platform keeps days before 1900.
TDateTime CombineDateTime(TDateTime date, TDateTime time);
DateParts DecodeDate(TDateTime value);
TimeParts DecodeTime(TDateTime value);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime value);
// Whole days only, the time of day dropped.
TDateTime DateOf(TDateTime value);
TDateTime Today();

// pt-BR formats: short date "dd/mm/yyyy", long time "hh:mm:ss".
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
// "dd/mm/yyyy", with " hh:mm:ss" when there is a time of day.
std::string DateTimeToStr(TDateTime value);

// Text in the short date format, optionally followed by a time; nothing when it is no date.
std::optional<TDateTime> TryStrToDate(std::string_view text);
std::optional<TDateTime> TryStrToDateTime(std::string_view text);
// As above but raising EConvertError "'<text>' não é uma data válida.".
TDateTime StrToDate(std::string_view text);

// Wire and database form: "YYYY-MM-DDTHH:MM:SS" (or a blank for the T, optional ".mmm").
std::string DateTimeToIso(TDateTime value, char separator = 'T');

// Whether a text may end in a zone ("Z", "+HH:MM"), as databases write `timestamptz`
// columns; such a time is turned into this machine's local time.
enum class ZoneSuffix { Refused, ToLocalTime };
// A date, with or without a time ("T" or a blank between them, seconds optional, up to nine
// fractional digits cut at the millisecond).
std::optional<TDateTime> TryIsoToDateTime(std::string_view text, ZoneSuffix zone = ZoneSuffix::Refused);

}  // namespace hostlib
