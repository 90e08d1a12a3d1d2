#include "prepared_session.h"

#include "core/db/sql_value.h"

namespace appserver {

std::exception_ptr AsDatabaseError(std::exception_ptr failure) {
    try {
        hostlib::RethrowAsDatabaseError(failure);
    } catch (...) {
        return std::current_exception();
    }
}

std::optional<hostlib::DatabaseErrorCategory> CategoryOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const hostlib::EDatabaseError& e) {
        return e.Category();
    } catch (...) {
        return std::nullopt;
    }
}

bool FailsTheWholeTransaction(hostlib::DatabaseErrorCategory category) {
    using hostlib::DatabaseErrorCategory;
    return category == DatabaseErrorCategory::ConnectionFailed || category == DatabaseErrorCategory::Busy ||
           category == DatabaseErrorCategory::ReadOnly || category == DatabaseErrorCategory::StorageFull;
}

}  // namespace appserver
