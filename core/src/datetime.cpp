#include "core/datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "core/ascii_text.h"
#include "core/exceptions.h"

namespace hostlib {

namespace {

using std::chrono::day;
using std::chrono::days;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

constexpr sys_days kEpoch = sys_days{year{1899} / 12 / 30};
constexpr double kMillisecondsPerDay = 86'400'000.0;

// Reads exactly `width` digits at `pos`; advances `pos`.
bool ReadDigits(std::string_view text, std::size_t& pos, std::size_t width, int& out) {
    if (pos + width > text.size()) return false;
    int value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += width;
    out = value;
    return true;
}

// Reads 1 to `max_width` digits at `pos`.
bool ReadNumber(std::string_view text, std::size_t& pos, std::size_t max_width, int& out) {
    std::size_t width = 0;
    while (pos + width < text.size() && width < max_width && text[pos + width] >= '0' && text[pos + width] <= '9') {
        ++width;
    }
    return width > 0 && ReadDigits(text, pos, width, out);
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

std::optional<TDateTime> ParseTime(std::string_view text, std::size_t& pos) {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    if (!ReadNumber(text, pos, 2, hour) || !Expect(text, pos, ':') || !ReadDigits(text, pos, 2, minute)) {
        return std::nullopt;
    }
    if (Expect(text, pos, ':') && !ReadDigits(text, pos, 2, second)) return std::nullopt;
    if (Expect(text, pos, '.')) {
        // Up to nine digits, as databases write them; past the millisecond they are cut,
        // never rounded, so 23:59:59.9999 stays on its day and second.
        const std::size_t start = pos;
        while (pos < text.size() && pos - start < 9 && text[pos] >= '0' && text[pos] <= '9') {
            if (pos - start < 3) millisecond = millisecond * 10 + (text[pos] - '0');
            ++pos;
        }
        if (pos == start) return std::nullopt;
        for (std::size_t w = pos - start; w < 3; ++w) millisecond *= 10;
    }
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return EncodeTime(hour, minute, second, millisecond);
}

// "Z", "+HH", "+HHMM", "+HH:MM" or "+HH:MM:SS" (or "-"): the offset from UTC in seconds.
// PostgreSQL writes seconds for the local mean times zones had before standard time.
std::optional<int> ParseZoneOffset(std::string_view text, std::size_t& pos) {
    if (Expect(text, pos, 'Z')) return 0;
    const bool west = pos < text.size() && text[pos] == '-';
    if (!Expect(text, pos, '+') && !Expect(text, pos, '-')) return std::nullopt;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    if (!ReadDigits(text, pos, 2, hours)) return std::nullopt;
    if (pos < text.size()) {
        const bool colons = Expect(text, pos, ':');
        if (!ReadDigits(text, pos, 2, minutes)) return std::nullopt;
        if (colons && Expect(text, pos, ':') && !ReadDigits(text, pos, 2, seconds)) return std::nullopt;
    }
    if (hours > 15 || minutes > 59 || seconds > 59) return std::nullopt;
    return (west ? -1 : 1) * ((hours * 60 + minutes) * 60 + seconds);
}

// A wall-clock time at `offset_seconds` from UTC, as this machine's local time.
std::optional<TDateTime> ToLocalTime(const DateParts& date, const TimeParts& time, int offset_seconds) {
    std::tm utc{};
    utc.tm_year = date.year - 1900;
    utc.tm_mon = date.month - 1;
    utc.tm_mday = date.day;
    utc.tm_hour = time.hour;
    utc.tm_min = time.minute;
    utc.tm_sec = time.second - offset_seconds;
    const std::time_t instant = ::timegm(&utc);
    std::tm local{};
    if (localtime_r(&instant, &local) == nullptr) return std::nullopt;
    const int year = local.tm_year + 1900;
    if (!IsValidDate(year, local.tm_mon + 1, local.tm_mday)) return std::nullopt;
    return CombineDateTime(EncodeDate(year, local.tm_mon + 1, local.tm_mday),
                           EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, time.millisecond));
}

}  // namespace

bool IsValidDate(int y, int m, int d) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
    return year_month_day{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}}.ok();
}

TDateTime EncodeDate(int y, int m, int d) {
    if (!IsValidDate(y, m, d)) throw EConvertError("Argumento inválido para codificar uma data.");
    const sys_days date{year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)}};
    return static_cast<TDateTime>((date - kEpoch).count());
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    const double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
    return ms / kMillisecondsPerDay;
}

TDateTime CombineDateTime(TDateTime date, TDateTime time) {
    // Before the epoch the day counts down while its time of day still counts up:
    // 29/12/1899 06:00 is -1.25, not -0.75.
    return date < 0 ? date - time : date + time;
}

DateParts DecodeDate(TDateTime value) {
    const auto whole = static_cast<long>(std::trunc(value));
    const year_month_day ymd{kEpoch + days{whole}};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

TimeParts DecodeTime(TDateTime value) {
    const double fraction = std::fabs(value - std::trunc(value));
    auto ms = static_cast<long long>(std::llround(fraction * kMillisecondsPerDay));
    if (ms >= static_cast<long long>(kMillisecondsPerDay)) ms = static_cast<long long>(kMillisecondsPerDay) - 1;
    TimeParts parts;
    parts.millisecond = static_cast<int>(ms % 1000);
    ms /= 1000;
    parts.second = static_cast<int>(ms % 60);
    ms /= 60;
    parts.minute = static_cast<int>(ms % 60);
    parts.hour = static_cast<int>(ms / 60);
    return parts;
}

int DayOfWeek(TDateTime value) {
    // 30/12/1899 was a Saturday.
    const auto whole = static_cast<long>(std::trunc(value));
    const long index = ((whole % 7) + 7 + 6) % 7;  // 0 = Sunday
    return static_cast<int>(index) + 1;
}

TDateTime DateOf(TDateTime value) { return std::trunc(value); }

TDateTime Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

std::string DateToStr(TDateTime value) {
    const DateParts d = DecodeDate(value);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%04d", d.day, d.month, d.year);
    return buffer;
}

std::string TimeToStr(TDateTime value) {
    const TimeParts t = DecodeTime(value);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buffer;
}

std::string DateTimeToStr(TDateTime value) {
    const TimeParts t = DecodeTime(value);
    if (t.hour == 0 && t.minute == 0 && t.second == 0 && t.millisecond == 0) return DateToStr(value);
    return DateToStr(value) + " " + TimeToStr(value);
}

// The year takes all four digits: "01/01/2" is a date still being typed, not year 2.
std::optional<TDateTime> TryStrToDateTime(std::string_view text) {
    const std::string_view trimmed = TrimmedBlanks(text, kSpaces);
    if (trimmed.empty()) return std::nullopt;
    std::size_t pos = 0;
    int d = 0;
    int m = 0;
    int y = 0;
    if (!ReadNumber(trimmed, pos, 2, d) || !Expect(trimmed, pos, '/') || !ReadNumber(trimmed, pos, 2, m) ||
        !Expect(trimmed, pos, '/') || !ReadDigits(trimmed, pos, 4, y)) {
        return std::nullopt;
    }
    if (!IsValidDate(y, m, d)) return std::nullopt;
    TDateTime result = EncodeDate(y, m, d);
    if (pos == trimmed.size()) return result;
    if (!Expect(trimmed, pos, ' ')) return std::nullopt;
    while (pos < trimmed.size() && trimmed[pos] == ' ') ++pos;
    const auto time = ParseTime(trimmed, pos);
    if (!time || pos != trimmed.size()) return std::nullopt;
    return CombineDateTime(result, *time);
}

std::optional<TDateTime> TryStrToDate(std::string_view text) {
    const auto value = TryStrToDateTime(text);
    if (!value || *value != DateOf(*value)) return std::nullopt;
    return value;
}

TDateTime StrToDate(std::string_view text) {
    const auto value = TryStrToDate(text);
    if (!value) throw EConvertError("'" + std::string(text) + "' não é uma data válida.");
    return *value;
}

std::string DateTimeToIso(TDateTime value, char separator) {
    const DateParts d = DecodeDate(value);
    const TimeParts t = DecodeTime(value);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d%c%02d:%02d:%02d", d.year, d.month, d.day, separator, t.hour,
                  t.minute, t.second);
    std::string out = buffer;
    if (t.millisecond != 0) {
        std::snprintf(buffer, sizeof buffer, ".%03d", t.millisecond);
        out += buffer;
    }
    return out;
}

std::optional<TDateTime> TryIsoToDateTime(std::string_view text, ZoneSuffix zone) {
    std::size_t pos = 0;
    int y = 0;
    int m = 0;
    int d = 0;
    if (!ReadDigits(text, pos, 4, y) || !Expect(text, pos, '-') || !ReadDigits(text, pos, 2, m) ||
        !Expect(text, pos, '-') || !ReadDigits(text, pos, 2, d) || !IsValidDate(y, m, d)) {
        return std::nullopt;
    }
    const TDateTime date = EncodeDate(y, m, d);
    if (pos == text.size()) return date;
    if (!Expect(text, pos, 'T') && !Expect(text, pos, ' ')) return std::nullopt;
    const auto time = ParseTime(text, pos);
    if (!time) return std::nullopt;
    if (pos == text.size()) return CombineDateTime(date, *time);
    if (zone == ZoneSuffix::Refused) return std::nullopt;
    const auto offset = ParseZoneOffset(text, pos);
    if (!offset || pos != text.size()) return std::nullopt;
    return ToLocalTime({y, m, d}, DecodeTime(*time), *offset);
}

}  // namespace hostlib
