#include "data_emissao_module.h"

#include <soci/soci.h>

#include "hostlib/db/database_error.h"
#include "hostlib/db/sql_value.h"

namespace appserver {

using hostlib::DataPacket;
using hostlib::DatabaseErrorCategory;
using hostlib::EDatabaseError;
using hostlib::FieldValue;
using hostlib::TFieldType;

namespace {

const char* const kSerieSql =
    "SELECT S.CDSERIE, S.DSSERIE, S.CDCTRLNUMENF, C.DTEMISCTNUNF, S.IDCONSDTEMIS, S.IDUTLOCAEMIS, S.IDUTDTPREMIS "
    "FROM SERIENF S LEFT JOIN CTRLNUMENF C ON C.CDCTRLNUMENF = S.CDCTRLNUMENF "
    "WHERE S.CDEMPRESA = :P_CDEMPRESA AND S.CDINSCESTA = :P_CDINSCESTA "
    "AND (S.CDINSCMUNI IS NULL OR S.CDINSCMUNI = :P_CDINSCMUNI) "
    "AND (S.CDSERIE = :P_CDSERIE OR :P_TCDSERIE = 'T') "
    "ORDER BY S.CDSERIE";

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

DataEmissaoModule::DataEmissaoModule(std::string database_url) : url_(std::move(database_url)) {}

DataEmissaoModule::~DataEmissaoModule() = default;

hostlib::TdtmDBGeral& DataEmissaoModule::Database() {
    if (!database_) {
        auto database = std::make_unique<hostlib::TdtmDBGeral>(nullptr, "dtmServidor");
        database->Open(url_);
        database_ = std::move(database);
    }
    return *database_;
}

template <class Work>
auto DataEmissaoModule::WithDatabase(Work&& work) {
    try {
        return work(Database().Session());
    } catch (...) {
        try {
            hostlib::RethrowAsDatabaseError(std::current_exception());
        } catch (const EDatabaseError& e) {
            // A lost session is dropped; the next request opens a new one.
            if (e.Category() == DatabaseErrorCategory::ConnectionFailed) database_.reset();
            throw;
        }
    }
}

DataPacket DataEmissaoModule::GetSerieNF(const std::string& company, const std::string& state_registration,
                                         const std::string& municipal_registration, const std::string& series,
                                         const std::string& all_series) {
    return WithDatabase([&](soci::session& session) {
        DataPacket packet{kSerieColumns, {}};
        soci::rowset<soci::row> rows =
            (session.prepare << kSerieSql, soci::use(company, "P_CDEMPRESA"),
             soci::use(state_registration, "P_CDINSCESTA"), soci::use(municipal_registration, "P_CDINSCMUNI"),
             soci::use(series, "P_CDSERIE"), soci::use(all_series, "P_TCDSERIE"));
        for (const soci::row& row : rows) {
            std::vector<FieldValue> values;
            values.reserve(kSerieColumns.size());
            for (std::size_t c = 0; c < kSerieColumns.size(); ++c) {
                values.push_back(hostlib::ReadColumn(row, c, kSerieColumns[c].type));
            }
            packet.rows.push_back(std::move(values));
        }
        return packet;
    });
}

DataPacket DataEmissaoModule::GetMaxData(const std::string& control) {
    return WithDatabase([&](soci::session& session) {
        DataPacket packet{{{"DTEMISSAO", TFieldType::ftDateTime, 0}}, {}};
        soci::rowset<soci::row> rows = (session.prepare << kMaxDataSql, soci::use(control, "P_CDCTRLNUMENF"));
        for (const soci::row& row : rows) packet.rows.push_back({hostlib::ReadColumn(row, 0, TFieldType::ftDateTime)});
        return packet;
    });
}

void DataEmissaoModule::StoreDate(const char* sql, hostlib::TDateTime date, const std::string& code,
                                  const std::string& unknown) {
    const std::string stored = hostlib::ToSqlDateTime(date);
    const bool found = WithDatabase([&](soci::session& session) {
        // Rolled back by its destructor unless committed.
        soci::transaction transaction(session);
        soci::statement statement = (session.prepare << sql, soci::use(stored, "P_DATA"), soci::use(code, "P_CODIGO"));
        statement.execute(true);
        if (statement.get_affected_rows() == 0) return false;
        transaction.commit();
        return true;
    });
    if (!found) throw EApplicationError(unknown);
}

void DataEmissaoModule::UpdateCtrlNumNF(hostlib::TDateTime date, const std::string& control) {
    StoreDate(kUpdateControlSql, date, control,
              "Controle de numeração de NF '" + control + "' não cadastrado.");
}

void DataEmissaoModule::UpDtLocal(hostlib::TDateTime date, const std::string& location) {
    StoreDate(kUpdateLocationSql, date, location, "Local de emissão '" + location + "' não cadastrado.");
}

}  // namespace appserver
