#include "data_emissao_module.h"

#include <soci/soci.h>

#include <array>
#include <optional>

#include "data_emissao_contract.h"
#include "hostlib/datetime.h"
#include "hostlib/db/database_error.h"
#include "hostlib/db/sql_value.h"
#include "hostlib/utf8.h"
#include "json_text.h"
#include "rpc_errors.h"

namespace appserver {

using hostlib::DatabaseErrorCategory;
using hostlib::EDatabaseError;
using hostlib::TFieldType;

namespace {

// One series, or (all-series flag "T") every series of the registration. Two statements,
// so that looking one series up goes by the index rather than through all of them.
#define VOR17000_SERIE_SELECT                                                                                  \
    "SELECT S.CDSERIE, S.DSSERIE, S.CDCTRLNUMENF, C.DTEMISCTNUNF, S.IDCONSDTEMIS, S.IDUTLOCAEMIS, S.IDUTDTPREMIS " \
    "FROM SERIENF S LEFT JOIN CTRLNUMENF C ON C.CDCTRLNUMENF = S.CDCTRLNUMENF "                                 \
    "WHERE S.CDEMPRESA = :P_CDEMPRESA AND S.CDINSCESTA = :P_CDINSCESTA "                                       \
    "AND (S.CDINSCMUNI IS NULL OR S.CDINSCMUNI = :P_CDINSCMUNI) "
const char* const kOneSerieSql = VOR17000_SERIE_SELECT "AND S.CDSERIE = :P_CDSERIE ORDER BY S.CDSERIE";
const char* const kAllSeriesSql = VOR17000_SERIE_SELECT "ORDER BY S.CDSERIE";
#undef VOR17000_SERIE_SELECT

const char* const kMaxDataSql = "SELECT MAX(DTEMISSAO) AS DTEMISSAO FROM NOTAFISCAL WHERE CDCTRLNUMENF = :P_CDCTRLNUMENF";

constexpr std::size_t kSerieColumnCount = vor17000::kSerieNFColumns.size();

// The constant head of a packet: its columns, and the opening of its rows.
template <std::size_t N>
std::string PacketHead(const std::array<vor17000::PacketColumnSpec, N>& columns) {
    std::string head = "{\"columns\":[";
    for (std::size_t c = 0; c < N; ++c) {
        if (c > 0) head += ',';
        head += "{\"name\":";
        AppendJsonString(head, columns[c].name);
        if (columns[c].type == TFieldType::ftString) {
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
void AppendDate(std::string& out, const std::string& text, const char* table, const std::string& code) {
    const auto date = hostlib::ReadDatabaseDateTime(text);
    if (!date) {
        std::string shown = hostlib::utf8::ValidOrWindows1252(code);
        throw EApplicationError(std::string("Data ilegível gravada na tabela ") + table + " para o código '" + shown +
                                "'.");
    }
    out += '"';
    out += hostlib::DateTimeToIso(*date);
    out += '"';
}

}  // namespace

// Every statement is prepared on its first use in a session and run again with new values
// after that: the requests are many and alike. Each read ends with the statement past its
// last row, so no session stays inside a read transaction between requests.
struct DataEmissaoModule::Statements {
    explicit Statements(soci::session& s) : session(s) {}

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
    soci::statement& MaxData() {
        if (!max_data) {
            max_data.emplace(session);
            max_data->exchange(soci::use(control, "P_CDCTRLNUMENF"));
            max_data->exchange(soci::into(row[0], null[0]));
            max_data->alloc();
            max_data->prepare(kMaxDataSql);
            max_data->define_and_bind();
        }
        return *max_data;
    }
    bool Null(std::size_t column) const { return null[column] == soci::i_null; }

    soci::session& session;
    std::string company, state_registration, municipal_registration, series, control;
    std::array<std::string, kSerieColumnCount> row;
    std::array<soci::indicator, kSerieColumnCount> null{};
    std::optional<soci::statement> one_serie;
    std::optional<soci::statement> all_series;
    std::optional<soci::statement> max_data;
};

DataEmissaoModule::DataEmissaoModule(std::string database_url, hostlib::SessionOptions session_options,
                                     DatabaseFileGuard& file)
    : session_(std::move(database_url), session_options, "dtmServidor"), file_(file) {}

DataEmissaoModule::~DataEmissaoModule() {
    statements_.reset();  // before the session they were prepared on
}

DataEmissaoModule::Statements& DataEmissaoModule::Prepared() {
    hostlib::TdtmDBGeral& database = session_.Database();
    if (statements_generation_ != session_.Generation()) statements_.reset();
    if (!statements_) {
        statements_ = std::make_unique<Statements>(database.Session());
        statements_generation_ = session_.Generation();
    }
    return *statements_;
}

template <class Work>
void DataEmissaoModule::WithDatabase(std::string& out, Work&& work) {
    if (file_.Gone()) throw EDatabaseFileGone("banco de dados: " + file_.Reason());
    const std::size_t start = out.size();
    // A session open before this request may have been lost meanwhile (the database
    // restarted): it is opened again and the read runs once more.
    const bool had_session = session_.IsOpen();
    for (int attempt = 0;; ++attempt) {
        try {
            SessionKeeper::Call call(session_);
            work(Prepared());
            return;
        } catch (...) {
            out.resize(start);
            // A statement that failed may have stopped among its rows, which would keep the
            // session in a read transaction on an old snapshot: all are finalized and
            // prepared again on their next use.
            statements_.reset();
            try {
                hostlib::RethrowAsDatabaseError(std::current_exception());
            } catch (const EDatabaseError& e) {
                if (e.Category() != DatabaseErrorCategory::ConnectionFailed &&
                    e.Category() != DatabaseErrorCategory::ReadOnly) {
                    throw;
                }
                // A lost session, or one the database opened read-only, is dropped; the next
                // use opens a new one (which sees permissions given back meanwhile).
                session_.Drop();
                if (!had_session || attempt > 0 || e.Category() != DatabaseErrorCategory::ConnectionFailed) throw;
            }
        }
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
        bool first = true;
        for (bool more = serie.execute(true); more; more = serie.fetch()) {
            out += first ? "[" : ",[";
            first = false;
            for (std::size_t c = 0; c < kSerieColumnCount; ++c) {
                if (c > 0) out += ',';
                if (s.Null(c)) {
                    out += "null";
                } else if (vor17000::kSerieNFColumns[c].type == TFieldType::ftDateTime) {
                    AppendDate(out, s.row[c], "CTRLNUMENF", s.row[2]);
                } else {
                    AppendText(out, s.row[c]);
                }
            }
            out += ']';
            if (out.size() > limit) throw EAnswerTooLarge("");
        }
        out += "]}";
    });
}

void DataEmissaoModule::WriteMaxData(const std::string& control, std::string& out) {
    WithDatabase(out, [&](Statements& s) {
        s.control = control;
        out += MaxDataHead();
        soci::statement& max_data = s.MaxData();
        if (max_data.execute(true)) {
            out += '[';
            if (s.Null(0)) {
                out += "null";
            } else {
                AppendDate(out, s.row[0], "NOTAFISCAL", control);
            }
            out += ']';
            // The aggregate's one row is read; stepping past it ends the statement's read.
            while (max_data.fetch()) {
            }
        }
        out += "]}";
    });
}

bool DataEmissaoModule::Answers() noexcept {
    try {
        if (file_.Gone()) return false;
        int one = 0;
        SessionKeeper::Call call(session_);
        session_.Database().Session() << "SELECT 1", soci::into(one);
        return one == 1;
    } catch (...) {
        statements_.reset();
        session_.Drop();
        return false;
    }
}

}  // namespace appserver
