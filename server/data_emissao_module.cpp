#include "data_emissao_module.h"

#include <soci/soci.h>

#include <optional>

#include "hostlib/db/database_error.h"
#include "hostlib/db/sql_value.h"
#include "hostlib/utf8.h"

namespace appserver {

using hostlib::DataPacket;
using hostlib::DatabaseErrorCategory;
using hostlib::EDatabaseError;
using hostlib::FieldValue;
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

const char* const kUpdateControlSql =
    "UPDATE CTRLNUMENF SET DTEMISCTNUNF = :P_DATA WHERE CDCTRLNUMENF = :P_CODIGO";
const char* const kUpdateLocationSql =
    "UPDATE LOCALEMISSAO SET DTULTEMISLCE = :P_DATA WHERE CDLOCALEMIS = :P_CODIGO";

const std::vector<hostlib::PacketColumn> kSerieColumns = {
    {"CDSERIE", TFieldType::ftString, 5},      {"DSSERIE", TFieldType::ftString, 20},
    {"CDCTRLNUMENF", TFieldType::ftString, 10}, {"DTEMISCTNUNF", TFieldType::ftDateTime, 0},
    {"IDCONSDTEMIS", TFieldType::ftString, 1}, {"IDUTLOCAEMIS", TFieldType::ftString, 1},
    {"IDUTDTPREMIS", TFieldType::ftString, 1},
};

}  // namespace

// Every statement is prepared on its first use in a session and run again with new
// values after that: the requests are many and alike.
struct DataEmissaoModule::Statements {
    explicit Statements(soci::session& s) : session(s) {}

    soci::statement& Serie(bool all) {
        auto& statement = all ? all_series_statement : one_serie;
        if (!statement) {
            soci::details::prepare_temp_type temp = (session.prepare << (all ? kAllSeriesSql : kOneSerieSql));
            temp, soci::use(company, "P_CDEMPRESA"), soci::use(state_registration, "P_CDINSCESTA"),
                soci::use(municipal_registration, "P_CDINSCMUNI");
            if (!all) temp, soci::use(series, "P_CDSERIE");
            for (std::size_t c = 0; c < 7; ++c) temp, soci::into(row[c], null[c]);
            statement.emplace(temp);
        }
        return *statement;
    }
    soci::statement& MaxData() {
        if (!max_data) {
            max_data.emplace(
                (session.prepare << kMaxDataSql, soci::use(control, "P_CDCTRLNUMENF"), soci::into(row[0], null[0])));
        }
        return *max_data;
    }
    soci::statement& Update(bool location) {
        auto& statement = location ? update_location : update_control;
        if (!statement) {
            statement.emplace((session.prepare << (location ? kUpdateLocationSql : kUpdateControlSql),
                               soci::use(date, "P_DATA"), soci::use(code, "P_CODIGO")));
        }
        return *statement;
    }

    // A column of the row just read. Text that is not UTF-8 was written by an older system
    // in its code page; a date that no known form reads is reported with where it lies.
    FieldValue Value(std::size_t column, TFieldType type, const char* table, const std::string& row_code) const {
        if (null[column] == soci::i_null) return std::monostate{};
        if (type == TFieldType::ftString) return hostlib::utf8::ValidOrWindows1252(row[column]);
        if (const auto parsed = hostlib::ReadDatabaseDateTime(row[column])) return *parsed;
        throw EApplicationError(std::string("Data ilegível gravada na tabela ") + table + " para o código '" +
                                hostlib::utf8::ValidOrWindows1252(row_code) + "'.");
    }

    soci::session& session;
    std::string company, state_registration, municipal_registration, series, control, date, code;
    std::string row[7];
    soci::indicator null[7] = {};
    std::optional<soci::statement> one_serie;
    std::optional<soci::statement> all_series_statement;
    std::optional<soci::statement> max_data;
    std::optional<soci::statement> update_control;
    std::optional<soci::statement> update_location;
};

DataEmissaoModule::DataEmissaoModule(std::string database_url, hostlib::SessionOptions session_options)
    : url_(std::move(database_url)), session_options_(session_options) {}

DataEmissaoModule::~DataEmissaoModule() = default;

DataEmissaoModule::Statements& DataEmissaoModule::Prepared() {
    if (!database_) {
        auto database = std::make_unique<hostlib::TdtmDBGeral>(nullptr, "dtmServidor");
        database->Open(url_, session_options_);
        database_ = std::move(database);
    }
    if (!statements_) statements_ = std::make_unique<Statements>(database_->Session());
    return *statements_;
}

template <class Work>
auto DataEmissaoModule::WithDatabase(Work&& work) {
    // A session that was open before this request may have been lost meanwhile (the
    // database restarted): it is opened again and the request runs once more. Every
    // request here is a read or an update to a fixed value, so running it twice is safe.
    const bool had_session = database_ != nullptr;
    for (int attempt = 0;; ++attempt) {
        try {
            return work(Prepared());
        } catch (...) {
            // A statement that failed may have stopped in the middle of its rows, which would
            // keep the session in a read transaction on an old snapshot: all are finalized,
            // and prepared again on their next use.
            statements_.reset();
            try {
                hostlib::RethrowAsDatabaseError(std::current_exception());
            } catch (const EApplicationError&) {
                throw;
            } catch (const EDatabaseError& e) {
                if (e.Category() != DatabaseErrorCategory::ConnectionFailed) throw;
                // A lost session is dropped, statements first; the next use opens a new one.
                statements_.reset();
                database_.reset();
                if (!had_session || attempt > 0) throw;
            }
        }
    }
}

DataPacket DataEmissaoModule::GetSerieNF(const std::string& company, const std::string& state_registration,
                                         const std::string& municipal_registration, const std::string& series,
                                         const std::string& all_series) {
    return WithDatabase([&](Statements& s) {
        s.company = company;
        s.state_registration = state_registration;
        s.municipal_registration = municipal_registration;
        s.series = series;
        DataPacket packet{kSerieColumns, {}};
        soci::statement& serie = s.Serie(all_series == "T");
        if (serie.execute(true)) {
            do {
                std::vector<FieldValue> values;
                values.reserve(kSerieColumns.size());
                for (std::size_t c = 0; c < kSerieColumns.size(); ++c) {
                    values.push_back(s.Value(c, kSerieColumns[c].type, "CTRLNUMENF", s.row[2]));
                }
                packet.rows.push_back(std::move(values));
            } while (serie.fetch());
        }
        return packet;
    });
}

DataPacket DataEmissaoModule::GetMaxData(const std::string& control) {
    return WithDatabase([&](Statements& s) {
        s.control = control;
        DataPacket packet{{{"DTEMISSAO", TFieldType::ftDateTime, 0}}, {}};
        soci::statement& max_data = s.MaxData();
        if (max_data.execute(true)) {
            std::vector<FieldValue> row;
            row.push_back(s.Value(0, TFieldType::ftDateTime, "NOTAFISCAL", control));
            packet.rows.push_back(std::move(row));
            // The aggregate's one row is read; stepping past it ends the statement's read.
            while (max_data.fetch()) {
            }
        }
        return packet;
    });
}

void DataEmissaoModule::StoreDate(bool location, hostlib::TDateTime date, const std::string& code,
                                  const std::string& unknown) {
    const bool found = WithDatabase([&](Statements& s) {
        s.date = hostlib::ToSqlDateTime(date);
        s.code = code;
        // One statement, committed on its own: an unknown code changes nothing to roll back.
        soci::statement& update = s.Update(location);
        update.execute(true);
        return update.get_affected_rows() > 0;
    });
    if (!found) throw EApplicationError(unknown);
}

void DataEmissaoModule::UpdateCtrlNumNF(hostlib::TDateTime date, const std::string& control) {
    StoreDate(false, date, control, "Controle de numeração de NF '" + control + "' não cadastrado.");
}

void DataEmissaoModule::UpDtLocal(hostlib::TDateTime date, const std::string& location) {
    StoreDate(true, date, location, "Local de emissão '" + location + "' não cadastrado.");
}

}  // namespace appserver
