#include "data_emissao_module.h"

#include <soci/soci.h>

#include <array>
#include <initializer_list>
#include <optional>

#include "core/ascii_text.h"
#include "data_emissao_contract.h"
#include "core/datetime.h"
#include "core/db/database_error.h"
#include "core/db/sql_value.h"
#include "core/utf8.h"
#include "json_text.h"
#include "latest_invoice.h"
#include "rpc_errors.h"
#include "store_checks.h"

namespace appserver {

using hostlib::DatabaseErrorCategory;
using hostlib::EDatabaseError;

namespace {

// One series, or (all-series flag "T") every series of the registration. Two statements,
// so that looking one series up goes by the index rather than through all of them.
#define VOR17000_SERIE_SELECT                                                                                      \
    "SELECT S.CDSERIE, S.DSSERIE, S.CDCTRLNUMENF, C.DTEMISCTNUNF, S.IDCONSDTEMIS, S.IDUTLOCAEMIS, S.IDUTDTPREMIS " \
    "FROM SERIENF S LEFT JOIN CTRLNUMENF C ON C.CDCTRLNUMENF = S.CDCTRLNUMENF "                                    \
    "WHERE S.CDEMPRESA = :P_CDEMPRESA AND S.CDINSCESTA = :P_CDINSCESTA "                                           \
    "AND (S.CDINSCMUNI IS NULL OR S.CDINSCMUNI = :P_CDINSCMUNI) "
const char* const kOneSerieSql = VOR17000_SERIE_SELECT "AND S.CDSERIE = :P_CDSERIE ORDER BY S.CDSERIE";
const char* const kAllSeriesSql = VOR17000_SERIE_SELECT "ORDER BY S.CDSERIE";
#undef VOR17000_SERIE_SELECT

#define VOR17000_HISTORY_SELECT                                                                               \
    "SELECT NRHISTORICO, NMTABELA, CDCHAVE, DTANTERIOR, DTNOVA, NMCLIENTE, NMUSUARIO, DSORIGEM, DTREGISTRO, " \
    "DSDTANTERIOR "                                                                                           \
    "FROM HISTDTEMISSAO WHERE NMTABELA = :P_NMTABELA "
const char* const kOneKeyHistorySql =
    VOR17000_HISTORY_SELECT "AND CDCHAVE = :P_CDCHAVE ORDER BY NRHISTORICO DESC LIMIT CAST(:P_LIMITE AS INTEGER)";
const char* const kAllKeysHistorySql =
    VOR17000_HISTORY_SELECT "ORDER BY NRHISTORICO DESC LIMIT CAST(:P_LIMITE AS INTEGER)";
#undef VOR17000_HISTORY_SELECT

// A page of the report: the controls after a code, in code order; each one's latest invoice is
// then found as GetMaxData finds it.
const char* const kDriftSql =
    "SELECT C.CDCTRLNUMENF, C.DTEMISCTNUNF FROM CTRLNUMENF C WHERE C.CDCTRLNUMENF > :P_APOS "
    "ORDER BY C.CDCTRLNUMENF LIMIT CAST(:P_LIMITE AS INTEGER)";

constexpr std::size_t kSerieColumnCount = vor17000::kSerieNFColumns.size();
constexpr std::size_t kWidestRow = vor17000::kHistoricoColumns.size();

// The constant head of a packet: its columns, and the opening of its rows.
template <std::size_t N>
std::string PacketHead(const std::array<vor17000::PacketColumn, N>& columns) {
    std::string head = "{\"columns\":[";
    for (std::size_t c = 0; c < N; ++c) {
        if (c > 0) head += ',';
        head += "{\"name\":";
        AppendJsonString(head, columns[c].name);
        if (columns[c].type == vor17000::ColumnType::Text) {
            head += ",\"type\":\"string\",\"size\":" + std::to_string(columns[c].size) + "}";
        } else {
            head += ",\"type\":\"datetime\"}";
        }
    }
    return head + "],\"rows\":[";
}

const std::string& SerieHead() {
    static const std::string head = PacketHead(vor17000::kSerieNFColumns);
    return head;
}

const std::string& MaxDataHead() {
    static const std::string head = PacketHead(vor17000::kMaxDataColumns);
    return head;
}

// Text that is not UTF-8 was written by an older system in its code page.
void AppendText(std::string& out, const std::string& text) {
    if (hostlib::utf8::IsValid(text)) {
        AppendJsonString(out, text);
    } else {
        AppendJsonString(out, hostlib::utf8::FromWindows1252(text));
    }
}

// A date in any form databases write, on the wire as "YYYY-MM-DDTHH:MM:SS[.mmm]"; one that
// no known form reads is reported with where it lies.
[[noreturn]] void RaiseUnreadableDate(std::string_view table, const std::string& code) {
    throw UnreadableDateError(table, code);
}

void AppendDateValue(std::string& out, hostlib::TDateTime date) {
    out += '"';
    out += hostlib::DateTimeToIso(date);
    out += '"';
}

// A date of a row, or null: what every packet's date columns hold.
void AppendDateOrNull(std::string& out, const std::optional<hostlib::TDateTime>& date) {
    if (date) {
        AppendDateValue(out, *date);
    } else {
        out += "null";
    }
}

using hostlib::IsBlank;

// Empty text is no date, as the host's own queries read it.
void AppendDate(std::string& out, const std::string& text, std::string_view table, const std::string& code) {
    if (IsBlank(text)) {
        out += "null";
        return;
    }
    const auto date = hostlib::ReadDatabaseDateTime(text);
    if (!date) RaiseUnreadableDate(table, code);
    AppendDateValue(out, *date);
}

// Codes as an older system keeps them: each one beyond ASCII in Windows-1252. False when none
// changes, so there is nothing to look up again.
bool ToLegacyCodePage(std::initializer_list<std::string*> codes) {
    bool changed = false;
    for (std::string* code : codes) {
        if (auto form = hostlib::utf8::Windows1252Form(*code)) {
            *code = std::move(*form);
            changed = true;
        }
    }
    return changed;
}

// One history row. A listing never fails for one row: a date no form reads is shown as none,
// and an old date's text goes beside it when the row does not hold it already (rows another
// program, or a version before this one, wrote with the date as it found it).
void AppendHistoryRow(std::string& out, const std::array<std::string, kWidestRow>& row,
                      const std::array<soci::indicator, kWidestRow>& null) {
    constexpr std::size_t kOldDate = 3;
    constexpr std::size_t kOldDateText = 9;
    static_assert(vor17000::kHistoricoColumns[kOldDate].name == "DTANTERIOR");
    static_assert(vor17000::kHistoricoColumns[kOldDateText].name == "DSDTANTERIOR");
    std::optional<std::string> old_date_text;
    if (null[kOldDateText] != soci::i_null) old_date_text = row[kOldDateText];
    for (std::size_t c = 0; c < vor17000::kHistoricoColumns.size(); ++c) {
        if (c > 0) out += ',';
        if (c == kOldDateText) {
            if (old_date_text) {
                AppendText(out, *old_date_text);
            } else {
                out += "null";
            }
        } else if (null[c] == soci::i_null) {
            out += "null";
        } else if (vor17000::kHistoricoColumns[c].type != vor17000::ColumnType::DateTime) {
            AppendText(out, row[c]);
        } else {
            const auto date = hostlib::ReadDatabaseDateTime(row[c]);
            AppendDateOrNull(out, date);
            if (!date && c == kOldDate && !old_date_text && !IsBlank(row[c])) {
                old_date_text =
                    hostlib::utf8::Truncated(hostlib::utf8::ValidOrWindows1252(row[c]),
                                             static_cast<std::size_t>(vor17000::kHistoricoColumns[kOldDateText].size));
            }
        }
    }
}

// Binds `count` columns into `row`/`null`, the parameters `bind` gives, and prepares `sql`.
template <class Bind>
void PrepareRead(std::optional<soci::statement>& statement, soci::session& session, const char* sql,
                 std::array<std::string, kWidestRow>& row, std::array<soci::indicator, kWidestRow>& null,
                 std::size_t count, Bind&& bind) {
    statement.emplace(session);
    bind(*statement);
    for (std::size_t c = 0; c < count; ++c) statement->exchange(soci::into(row[c], null[c]));
    statement->alloc();
    statement->prepare(sql);
    statement->define_and_bind();
}

}  // namespace

DriftVerdict DriftVerdictOf(const std::optional<hostlib::TDateTime>& last,
                            const std::optional<hostlib::TDateTime>& latest_invoice) {
    if (!latest_invoice) return DriftVerdict::Ok;
    if (!last) return DriftVerdict::NoDate;
    return hostlib::DateOf(*last) < hostlib::DateOf(*latest_invoice) ? DriftVerdict::Behind : DriftVerdict::Ok;
}

std::string_view DriftVerdictName(DriftVerdict verdict) {
    switch (verdict) {
        case DriftVerdict::Behind:
            return vor17000::kVerdictLate;
        case DriftVerdict::NoDate:
            return vor17000::kVerdictNoDate;
        case DriftVerdict::Unreadable:
            return vor17000::kVerdictUnreadable;
        case DriftVerdict::Ok:
            break;
    }
    return vor17000::kVerdictOk;
}

// Every statement is prepared on its first use in a session and run again with new values
// after that: the requests are many and alike. Each read ends with the statement past its
// last row, so no session stays inside a read transaction between requests.
struct DataEmissaoModule::Statements {
    explicit Statements(hostlib::DatabaseSession& database)
        : session(database.Session()),
          legacy_text(database.KeepsLegacyText()),
          latest_invoice(session, database.Kind()) {}

    soci::statement& History(bool all) {
        auto& statement = all ? history_all : history_one;
        if (!statement) {
            PrepareRead(statement, session, all ? kAllKeysHistorySql : kOneKeyHistorySql, row, null,
                        vor17000::kHistoricoColumns.size(), [&](soci::statement& st) {
                            st.exchange(soci::use(table, "P_NMTABELA"));
                            if (!all) st.exchange(soci::use(code, "P_CDCHAVE"));
                            st.exchange(soci::use(limit, "P_LIMITE"));
                        });
        }
        return *statement;
    }
    soci::statement& Drift() {
        if (!drift) {
            PrepareRead(drift, session, kDriftSql, row, null, 2, [&](soci::statement& st) {
                st.exchange(soci::use(code, "P_APOS"));
                st.exchange(soci::use(limit, "P_LIMITE"));
            });
        }
        return *drift;
    }

    soci::statement& Serie(bool all) {
        auto& statement = all ? all_series : one_serie;
        if (!statement) {
            statement.emplace(session);
            statement->exchange(soci::use(company, "P_CDEMPRESA"));
            statement->exchange(soci::use(state_registration, "P_CDINSCESTA"));
            statement->exchange(soci::use(municipal_registration, "P_CDINSCMUNI"));
            if (!all) statement->exchange(soci::use(series, "P_CDSERIE"));
            for (std::size_t c = 0; c < kSerieColumnCount; ++c) statement->exchange(soci::into(row[c], null[c]));
            statement->alloc();
            statement->prepare(all ? kAllSeriesSql : kOneSerieSql);
            statement->define_and_bind();
        }
        return *statement;
    }
    bool Null(std::size_t column) const { return null[column] == soci::i_null; }

    soci::session& session;
    // Codes beyond ASCII that find nothing are looked up again in Windows-1252.
    bool legacy_text;
    std::string company, state_registration, municipal_registration, series, table, code;
    int limit = 0;
    std::array<std::string, kWidestRow> row;
    std::array<soci::indicator, kWidestRow> null{};
    std::optional<soci::statement> one_serie;
    std::optional<soci::statement> all_series;
    std::optional<soci::statement> history_one;
    std::optional<soci::statement> history_all;
    std::optional<soci::statement> drift;
    LatestInvoiceQuery latest_invoice;
};

DataEmissaoModule::DataEmissaoModule(std::string database_url, hostlib::SessionOptions session_options,
                                     DatabaseFileGuard& file)
    : session_(std::move(database_url), session_options, file) {}

DataEmissaoModule::~DataEmissaoModule() = default;

void DataEmissaoModule::ReopenIfAsked() { session_.ReopenIfAsked(); }

template <class Work>
void DataEmissaoModule::WithDatabase(std::string& out, Work&& work) {
    const std::size_t start = out.size();
    try {
        session_.Run([&](hostlib::DatabaseSession&, Statements& statements, RetryPermit&) {
            out.resize(start);  // what a run before this one left
            work(statements);
        });
    } catch (...) {
        out.resize(start);
        throw;
    }
}

void DataEmissaoModule::WriteSerieNF(const std::string& company, const std::string& state_registration,
                                     const std::string& municipal_registration, const std::string& series,
                                     const std::string& all_series, std::string& out, std::size_t limit) {
    WithDatabase(out, [&](Statements& s) {
        s.company = company;
        s.state_registration = state_registration;
        s.municipal_registration = municipal_registration;
        s.series = series;
        out += SerieHead();
        soci::statement& serie = s.Serie(all_series == "T");
        // Whether any row was written.
        const auto append_rows = [&] {
            bool first = true;
            for (bool more = serie.execute(true); more; more = serie.fetch()) {
                out += first ? "[" : ",[";
                first = false;
                for (std::size_t c = 0; c < kSerieColumnCount; ++c) {
                    if (c > 0) out += ',';
                    if (s.Null(c)) {
                        out += "null";
                    } else if (vor17000::kSerieNFColumns[c].type == vor17000::ColumnType::DateTime) {
                        AppendDate(out, s.row[c], vor17000::kControlsTable, s.row[2]);
                    } else {
                        AppendText(out, s.row[c]);
                    }
                }
                out += ']';
                if (out.size() > limit) throw EAnswerTooLarge("");
            }
            return !first;
        };
        if (!append_rows() && s.legacy_text &&
            ToLegacyCodePage({&s.company, &s.state_registration, &s.municipal_registration, &s.series})) {
            append_rows();
        }
        out += "]}";
    });
}

void DataEmissaoModule::WriteMaxData(const std::string& control, std::string& out) {
    WithDatabase(out, [&](Statements& s) {
        LatestInvoice latest = s.latest_invoice.Find(control);
        if (latest.state == InvoiceDate::None && s.legacy_text) {
            if (const auto legacy = hostlib::utf8::Windows1252Form(control)) latest = s.latest_invoice.Find(*legacy);
        }
        if (latest.state == InvoiceDate::Unreadable) RaiseUnreadableDate("NOTAFISCAL", control);
        out += MaxDataHead();
        out += '[';
        AppendDateOrNull(out, latest.state == InvoiceDate::Found ? std::optional(latest.date) : std::nullopt);
        out += "]]}";
    });
}

void DataEmissaoModule::WriteHistorico(const std::string& table, const std::string& code, int limit, std::string& out,
                                       std::size_t answer_limit) {
    static const std::string head = PacketHead(vor17000::kHistoricoColumns);
    WithDatabase(out, [&](Statements& s) {
        s.table = table;
        s.code = code;
        s.limit = limit;
        out += head;
        soci::statement& history = s.History(code.empty());
        // Whether any row was written.
        const auto append_rows = [&] {
            bool first = true;
            for (bool more = history.execute(true); more; more = history.fetch()) {
                out += first ? "[" : ",[";
                first = false;
                AppendHistoryRow(out, s.row, s.null);
                out += ']';
                if (out.size() > answer_limit) throw EAnswerTooLarge("");
            }
            return !first;
        };
        if (!append_rows() && s.legacy_text && ToLegacyCodePage({&s.code})) append_rows();
        out += "]}";
    });
}

std::vector<DateDrift> DataEmissaoModule::Drift(int limit, const std::string& after) {
    std::vector<DateDrift> rows;
    std::string unused;
    WithDatabase(unused, [&](Statements& s) {
        s.code = after;
        s.limit = limit;
        // The controls first, as the table keeps their codes; then each one's latest invoice.
        std::vector<std::pair<std::string, std::optional<std::string>>> controls;
        soci::statement& drift = s.Drift();
        for (bool more = drift.execute(true); more; more = drift.fetch()) {
            controls.emplace_back(s.row[0], s.Null(1) ? std::nullopt : std::optional<std::string>(s.row[1]));
        }
        rows.clear();
        for (const auto& [code, last_text] : controls) {
            DateDrift row;
            row.key = code;
            row.control = hostlib::utf8::ValidOrWindows1252(code);
            // A date no form reads is that control's verdict, not the whole report's failure.
            bool unreadable = false;
            if (last_text && !IsBlank(*last_text)) {
                row.last = hostlib::ReadDatabaseDateTime(*last_text);
                unreadable = !row.last;
            }
            const LatestInvoice latest = s.latest_invoice.Find(code);
            if (latest.state == InvoiceDate::Found) row.latest_invoice = latest.date;
            unreadable = unreadable || latest.state == InvoiceDate::Unreadable;
            row.verdict = unreadable ? DriftVerdict::Unreadable : DriftVerdictOf(row.last, row.latest_invoice);
            rows.push_back(std::move(row));
        }
    });
    return rows;
}

void DataEmissaoModule::WriteDivergencias(int limit, const std::string& after, std::string& out) {
    static const std::string head = PacketHead(vor17000::kDivergenciasColumns);
    const std::vector<DateDrift> rows = Drift(limit, after);
    out += head;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const DateDrift& row = rows[i];
        out += i == 0 ? "[" : ",[";
        AppendJsonString(out, row.control);
        for (const auto& date : {row.last, row.latest_invoice}) {
            out += ',';
            AppendDateOrNull(out, date);
        }
        out += ',';
        AppendJsonString(out, DriftVerdictName(row.verdict));
        out += ']';
    }
    out += "]}";
}

bool DataEmissaoModule::Answers() noexcept {
    try {
        // A query that reads the database, not one the session answers by itself.
        int none = -1;
        session_.Run([&](hostlib::DatabaseSession& database, Statements&, RetryPermit& permit) {
            permit.Withdraw();  // a probe tells how the session is, not how it would be
            database.Session() << "SELECT COUNT(*) FROM EMPRESA WHERE CDEMPRESA = ''", soci::into(none);
        });
        return none >= 0;
    } catch (...) {
        session_.Drop();
        return false;
    }
}

}  // namespace appserver
