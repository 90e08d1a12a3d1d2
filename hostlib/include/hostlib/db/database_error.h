#pragma once
// Database failures, sorted into categories at the data boundary. The text is the
// driver's message: the host shows it; a server maps the category instead.
#include <string>

#include "hostlib/exceptions.h"

namespace hostlib {

enum class DatabaseErrorCategory {
    ConnectionFailed,  // the database cannot be reached or opened
    Busy,              // locked or serialisation failure: worth another try later
    Constraint,        // a key, not-null or check rule refused the data
    BadData,           // a value of the wrong type or form
    ReadOnly,          // the database, its folder or its transaction takes no writes
    StorageFull,       // no room left to write
    Other,
};

const char* DatabaseErrorCategoryName(DatabaseErrorCategory category);

class EDatabaseError : public Exception {
public:
    EDatabaseError(DatabaseErrorCategory category, const std::string& message)
        : Exception(message), category_(category) {}
    DatabaseErrorCategory Category() const { return category_; }

private:
    DatabaseErrorCategory category_;
};

}  // namespace hostlib
