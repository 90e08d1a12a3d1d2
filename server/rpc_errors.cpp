#include "rpc_errors.h"

#include "core/db/database_error.h"
#include "store_checks.h"

namespace appserver {

std::optional<DatabaseFailure> DatabaseFailureOf(std::exception_ptr failure) {
    using hostlib::DatabaseErrorCategory;
    try {
        std::rethrow_exception(failure);
    } catch (const EDatabaseFileGone&) {
        return DatabaseFailure::FileGone;
    } catch (const hostlib::EDatabaseError& e) {
        switch (e.Category()) {
            case DatabaseErrorCategory::ConnectionFailed:
                return DatabaseFailure::Connection;
            case DatabaseErrorCategory::Busy:
                return DatabaseFailure::Busy;
            case DatabaseErrorCategory::ReadOnly:
                return DatabaseFailure::ReadOnly;
            case DatabaseErrorCategory::StorageFull:
                return DatabaseFailure::StorageFull;
            default:
                return DatabaseFailure::Other;
        }
    } catch (...) {
        return std::nullopt;
    }
}

RpcError ToRpcError(std::exception_ptr failure, std::string& log_cause) {
    using hostlib::DatabaseErrorCategory;
    log_cause.clear();
    try {
        std::rethrow_exception(failure);
    } catch (const EStoreRefused& e) {
        return {kApplicationError, e.what(), e.DataJson()};
    } catch (const EApplicationError& e) {
        return {kApplicationError, e.what()};
    } catch (const EDatabaseFileGone& e) {
        log_cause = e.what();
        return {kApplicationError, "O arquivo do banco de dados foi removido ou substituído. Avise o administrador."};
    } catch (const hostlib::EDatabaseError& e) {
        // The driver's words where there are any: the category already says the rest.
        log_cause = std::string(hostlib::DatabaseErrorCategoryName(e.Category())) + ": " +
                    (e.Details().empty() ? std::string(e.what()) : e.Details());
        switch (e.Category()) {
            case DatabaseErrorCategory::ConnectionFailed:
                return {kApplicationError, "Banco de dados indisponível. Tente novamente em instantes."};
            case DatabaseErrorCategory::Busy:
                log_cause.clear();
                return {kApplicationError, "O banco de dados está ocupado. Tente novamente."};
            case DatabaseErrorCategory::ReadOnly:
                return {kApplicationError,
                        "O banco de dados não aceita gravações (somente leitura). Avise o administrador."};
            case DatabaseErrorCategory::StorageFull:
                return {kApplicationError, "Não há espaço para gravar no banco de dados. Avise o administrador."};
            default:
                return {kInternalError, kInternalErrorText};
        }
    } catch (const std::exception& e) {
        log_cause = hostlib::FullTextOf(e);
        return {kInternalError, kInternalErrorText};
    } catch (...) {
        log_cause = "falha desconhecida";
        return {kInternalError, kInternalErrorText};
    }
}

}  // namespace appserver
