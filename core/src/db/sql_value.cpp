#include "core/db/sql_value.h"

#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>

#include <cmath>
#include <cstdio>

#include "core/utf8.h"

namespace hostlib {

namespace {

TDateTime FromTm(const std::tm& tm) {
    return CombineDateTime(EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday),
                           EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec, 0));
}

std::string NumberText(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    return buffer;
}

DatabaseErrorCategory SqliteCategory(int result) {
    switch (result & 0xFF) {
        case 5:  // SQLITE_BUSY
        case 6:  // SQLITE_LOCKED
            return DatabaseErrorCategory::Busy;
        case 19:  // SQLITE_CONSTRAINT
            return DatabaseErrorCategory::Constraint;
        case 14:  // SQLITE_CANTOPEN
        case 26:  // SQLITE_NOTADB
            return DatabaseErrorCategory::ConnectionFailed;
        case 3:  // SQLITE_PERM
        case 8:  // SQLITE_READONLY
            return DatabaseErrorCategory::ReadOnly;
        case 13:  // SQLITE_FULL
            return DatabaseErrorCategory::StorageFull;
        case 20:  // SQLITE_MISMATCH
            return DatabaseErrorCategory::BadData;
        default:
            return DatabaseErrorCategory::Other;
    }
}

DatabaseErrorCategory PostgresCategory(const std::string& state) {
    // The server always gives a state; none means the client lost the connection.
    if (state.empty() || state == std::string(5, '\0')) return DatabaseErrorCategory::ConnectionFailed;
    // Serialisation failure, deadlock, lock timeout, statement timeout: all pass with time.
    if (state == "40001" || state == "40P01" || state == "55P03" || state == "57014") {
        return DatabaseErrorCategory::Busy;
    }
    if (state == "25006") return DatabaseErrorCategory::ReadOnly;
    if (state == "53100") return DatabaseErrorCategory::StorageFull;
    if (state.rfind("23", 0) == 0) return DatabaseErrorCategory::Constraint;
    if (state.rfind("22", 0) == 0) return DatabaseErrorCategory::BadData;
    if (state.rfind("08", 0) == 0 || state.rfind("57P", 0) == 0 || state == "53300") {
        return DatabaseErrorCategory::ConnectionFailed;
    }
    return DatabaseErrorCategory::Other;
}

}  // namespace

namespace {

// A driver's failure: the sentence of its category for the user, its own words as details.
[[noreturn]] void RaiseDriverError(DatabaseErrorCategory category, const std::string& driver_text) {
    throw EDatabaseError(category, DatabaseErrorSentence(category), driver_text);
}

}  // namespace

const char* DatabaseErrorCategoryName(DatabaseErrorCategory category) {
    switch (category) {
        case DatabaseErrorCategory::ConnectionFailed:
            return "conexão";
        case DatabaseErrorCategory::Busy:
            return "ocupado";
        case DatabaseErrorCategory::Constraint:
            return "restrição";
        case DatabaseErrorCategory::BadData:
            return "dado inválido";
        case DatabaseErrorCategory::ReadOnly:
            return "somente leitura";
        case DatabaseErrorCategory::StorageFull:
            return "sem espaço";
        case DatabaseErrorCategory::Other:
            break;
    }
    return "outro";
}

const char* DatabaseErrorSentence(DatabaseErrorCategory category) {
    switch (category) {
        case DatabaseErrorCategory::ConnectionFailed:
            return "Não foi possível falar com o banco de dados. Verifique se ele está no ar e tente de novo.";
        case DatabaseErrorCategory::Busy:
            return "O banco de dados está ocupado com outra operação. Tente de novo em instantes.";
        case DatabaseErrorCategory::Constraint:
            return "O banco de dados recusou os dados por uma regra de integridade.";
        case DatabaseErrorCategory::BadData:
            return "O banco de dados recusou um valor em formato inválido.";
        case DatabaseErrorCategory::ReadOnly:
            return "O banco de dados não aceita gravações (somente leitura). Avise o administrador.";
        case DatabaseErrorCategory::StorageFull:
            return "Não há espaço para gravar no banco de dados. Avise o administrador.";
        case DatabaseErrorCategory::Other:
            break;
    }
    return "O banco de dados respondeu com uma falha.";
}

std::string ToSqlDateTime(TDateTime value) { return DateTimeToIso(value, ' ').substr(0, 19); }

std::optional<TDateTime> ReadDatabaseDateTime(std::string_view text) {
    return TryIsoToDateTime(text, ZoneSuffix::ToLocalTime);
}

TFieldType ColumnFieldType(const soci::row& row, std::size_t index) {
    return row.get_properties(index).get_data_type() == soci::dt_date ? TFieldType::ftDateTime : TFieldType::ftString;
}

FieldValue ReadColumn(const soci::row& row, std::size_t index, TFieldType type) {
    if (row.get_indicator(index) == soci::i_null) return std::monostate{};
    const auto& props = row.get_properties(index);
    std::string text;
    switch (props.get_data_type()) {
        case soci::dt_date: {
            const TDateTime date = FromTm(row.get<std::tm>(index));
            if (type == TFieldType::ftDateTime) return date;
            return DateTimeToIso(date, ' ');
        }
        case soci::dt_string:
            text = row.get<std::string>(index);
            break;
        case soci::dt_double:
            text = NumberText(row.get<double>(index));
            break;
        case soci::dt_integer:
            text = std::to_string(row.get<int>(index));
            break;
        case soci::dt_long_long:
            text = std::to_string(row.get<long long>(index));
            break;
        case soci::dt_unsigned_long_long:
            text = std::to_string(row.get<unsigned long long>(index));
            break;
        default:
            throw EDatabaseError(DatabaseErrorCategory::BadData,
                                 "Coluna '" + props.get_name() + "' de tipo não suportado.");
    }
    if (type == TFieldType::ftString) return utf8::ValidOrWindows1252(std::move(text));
    if (text.empty()) return std::monostate{};
    if (auto date = ReadDatabaseDateTime(text)) return *date;
    throw EDatabaseError(DatabaseErrorCategory::BadData,
                         "Coluna '" + props.get_name() + "' não contém uma data: '" + text + "'.");
}

void RethrowAsDatabaseError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const EDatabaseError&) {
        throw;
    } catch (const soci::sqlite3_soci_error& e) {
        RaiseDriverError(SqliteCategory(e.result()), e.get_error_message());
    } catch (const soci::postgresql_soci_error& e) {
        const auto category = e.get_error_category() == soci::soci_error::connection_error
                                  ? DatabaseErrorCategory::ConnectionFailed
                                  : PostgresCategory(e.sqlstate());
        RaiseDriverError(category, e.get_error_message());
    } catch (const soci::soci_error& e) {
        const auto category = e.get_error_category() == soci::soci_error::connection_error
                                  ? DatabaseErrorCategory::ConnectionFailed
                                  : DatabaseErrorCategory::Other;
        RaiseDriverError(category, e.get_error_message());
    }
}

}  // namespace hostlib
