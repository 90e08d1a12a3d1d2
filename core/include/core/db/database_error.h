#pragma once
// Database failures, sorted into categories at the data boundary. A driver's failure reads as
// a sentence for its category, the driver's own message kept as the details: the host shows
// the sentence first, a server maps the category and logs the details.
#include <string>

#include "core/exceptions.h"

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

// What a user reads of a driver's failure of this category.
const char* DatabaseErrorSentence(DatabaseErrorCategory category);

class EDatabaseError : public Exception {
public:
    EDatabaseError(DatabaseErrorCategory category, const std::string& message, std::string details = {})
        : Exception(message, std::move(details)), category_(category) {}
    DatabaseErrorCategory Category() const { return category_; }

private:
    DatabaseErrorCategory category_;
};

}  // namespace hostlib
