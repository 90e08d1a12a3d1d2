#include "latest_invoice.h"

#include <soci/soci.h>

#include <algorithm>
#include <ctime>

#include "core/ascii_text.h"
#include "core/db/sql_value.h"

namespace appserver {

namespace {

// The key of the index IX_NOTAFISCAL_VALOR of db/schema.sql, written as the index writes it
// so that SQLite uses the index: julianday() of a text that starts like a date, null for
// anything else ('now' among them, which no index may hold).
#define VOR17000_INVOICE_VALUE "julianday(CASE WHEN DTEMISSAO GLOB '[0-9][0-9][0-9][0-9]-*' THEN DTEMISSAO END)"

const char* const kTypedSql = "SELECT MAX(DTEMISSAO) FROM NOTAFISCAL WHERE CDCTRLNUMENF = :P_CDCTRLNUMENF";

// The invoice whose text SQLite reads as the latest.
const char* const kTopSql =
    "SELECT DTEMISSAO FROM NOTAFISCAL WHERE CDCTRLNUMENF = :P_CDCTRLNUMENF AND " VOR17000_INVOICE_VALUE
    " >= 0 ORDER BY " VOR17000_INVOICE_VALUE " DESC LIMIT 1";

// Those that may still be later as the server reads them: SQLite's value from P_DESDE on, and
// every text SQLite does not read as a date (a one-digit hour, a zone without a colon, a date
// in no form at all).
const char* const kCandidatesSql =
    "SELECT DTEMISSAO FROM NOTAFISCAL WHERE CDCTRLNUMENF = :P_CDCTRLNUMENF1 AND " VOR17000_INVOICE_VALUE
    " >= :P_DESDE "
    "UNION ALL SELECT DTEMISSAO FROM NOTAFISCAL WHERE CDCTRLNUMENF = :P_CDCTRLNUMENF2 AND " VOR17000_INVOICE_VALUE
    " IS NULL AND DTEMISSAO IS NOT NULL";

#undef VOR17000_INVOICE_VALUE

constexpr double kJulianDayOfEpoch = 2415018.5;  // 30/12/1899 00:00
constexpr double kSecond = 1.0 / 86400.0;

// The julian day SQLite gives the same date and time.
double JulianDayOf(hostlib::TDateTime value) {
    const hostlib::DateParts d = hostlib::DecodeDate(value);
    const hostlib::TimeParts t = hostlib::DecodeTime(value);
    return hostlib::EncodeDate(d.year, d.month, d.day) +
           hostlib::EncodeTime(t.hour, t.minute, t.second, t.millisecond) + kJulianDayOfEpoch;
}

// How far ahead of UTC this machine's clock may be near `local`, in days, never below zero.
// A text with a zone has SQLite's value at its UTC instant but is read as local time, that much
// later. Offsets are taken a day and more on either side, so a change of daylight saving time
// in between is seen too.
double EastwardOffsetNear(hostlib::TDateTime local) {
    const hostlib::DateParts d = hostlib::DecodeDate(local);
    std::tm as_utc{};
    as_utc.tm_year = d.year - 1900;
    as_utc.tm_mon = d.month - 1;
    as_utc.tm_mday = d.day;
    const std::time_t around = ::timegm(&as_utc);
    long largest = 0;
    for (int day = -2; day <= 2; ++day) {
        const std::time_t at = around + static_cast<std::time_t>(day) * 86400;
        std::tm clock{};
        if (localtime_r(&at, &clock) != nullptr) largest = std::max(largest, clock.tm_gmtoff);
    }
    return static_cast<double>(largest) / 86400.0;
}

}  // namespace

struct LatestInvoiceQuery::Statements {
    explicit Statements(soci::session& session, hostlib::DatabaseKind kind) {
        if (kind == hostlib::DatabaseKind::PostgreSQL) {
            typed.emplace(session);
            typed->exchange(soci::use(control, "P_CDCTRLNUMENF"));
            typed->exchange(soci::into(text, null));
            Prepare(*typed, kTypedSql);
            return;
        }
        top.emplace(session);
        top->exchange(soci::use(control, "P_CDCTRLNUMENF"));
        top->exchange(soci::into(text, null));
        Prepare(*top, kTopSql);
        candidates.emplace(session);
        candidates->exchange(soci::use(control, "P_CDCTRLNUMENF1"));
        candidates->exchange(soci::use(since, since_null, "P_DESDE"));
        candidates->exchange(soci::use(control, "P_CDCTRLNUMENF2"));
        candidates->exchange(soci::into(candidate, candidate_null));
        Prepare(*candidates, kCandidatesSql);
    }
    static void Prepare(soci::statement& statement, const char* sql) {
        statement.alloc();
        statement.prepare(sql);
        statement.define_and_bind();
    }

    std::string control, text, candidate;
    soci::indicator null = soci::i_null;
    soci::indicator candidate_null = soci::i_null;
    double since = 0;
    soci::indicator since_null = soci::i_null;
    std::optional<soci::statement> typed;
    std::optional<soci::statement> top;
    std::optional<soci::statement> candidates;
};

LatestInvoiceQuery::LatestInvoiceQuery(soci::session& session, hostlib::DatabaseKind kind)
    : session_(session), kind_(kind) {}

LatestInvoiceQuery::~LatestInvoiceQuery() = default;

LatestInvoice LatestInvoiceQuery::Find(const std::string& control) {
    if (!statements_) statements_ = std::make_unique<Statements>(session_, kind_);
    statements_->control = control;
    return kind_ == hostlib::DatabaseKind::PostgreSQL ? FindTyped(*statements_) : FindAmongTexts(*statements_);
}

LatestInvoice LatestInvoiceQuery::FindTyped(Statements& s) {
    s.null = soci::i_null;
    const bool row = s.typed->execute(true);
    // The aggregate's one row is read; stepping past it ends the statement's read.
    while (row && s.typed->fetch()) {
    }
    if (!row || s.null == soci::i_null) return {};
    const auto date = hostlib::ReadDatabaseDateTime(s.text);
    if (!date) return {InvoiceDate::Unreadable, 0};
    return {InvoiceDate::Found, *date};
}

LatestInvoice LatestInvoiceQuery::FindAmongTexts(Statements& s) {
    LatestInvoice latest;
    s.null = soci::i_null;
    const bool top = s.top->execute(true);
    while (top && s.top->fetch()) {
    }
    s.since_null = soci::i_null;  // none: only the texts SQLite does not read are candidates
    if (top && s.null != soci::i_null) {
        const auto date = hostlib::ReadDatabaseDateTime(s.text);
        if (!date) return {InvoiceDate::Unreadable, 0};
        latest = {InvoiceDate::Found, *date};
        // A second to spare: SQLite rounds fractions of a millisecond, the server cuts them.
        s.since = JulianDayOf(*date) - EastwardOffsetNear(*date) - kSecond;
        s.since_null = soci::i_ok;
    }
    bool unreadable = false;
    for (bool more = s.candidates->execute(true); more; more = s.candidates->fetch()) {
        // Empty text is no date, as everywhere dates are read.
        if (s.candidate_null == soci::i_null || hostlib::IsBlank(s.candidate)) continue;
        const auto date = hostlib::ReadDatabaseDateTime(s.candidate);
        if (!date) {
            unreadable = true;  // read on all the same, so that the statement ends its read
        } else if (latest.state == InvoiceDate::None || *date > latest.date) {
            latest = {InvoiceDate::Found, *date};
        }
    }
    if (unreadable) return {InvoiceDate::Unreadable, 0};
    return latest;
}

}  // namespace appserver
