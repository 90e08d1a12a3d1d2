#pragma once
// What a store's third parameter asks the server to check inside the store's own transaction,
// after the rows are locked: that the stored date is still the one the screen read (no clerk's
// date overwritten unseen), and that the new date is not earlier than the latest invoice (the
// screen's own check, with nothing issued in between).
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/datetime.h"
#include "rpc_errors.h"

namespace appserver {

enum class InvoiceCheck { None, ByTime, ByDay };

struct StoreExpectation {
    // The stored date the screen read (nothing: it read none); absent: no comparison.
    struct Previous {
        std::optional<hostlib::TDateTime> date;
    };
    std::optional<Previous> previous;
    InvoiceCheck invoices = InvoiceCheck::None;
    // The numbering control whose invoices count: the store's own code, or the one a location
    // store names.
    std::string control;

    bool Any() const { return previous.has_value() || invoices != InvoiceCheck::None; }
};

// A store refused by its expectation: the error's data says why (JSON object text).
class EStoreRefused : public EApplicationError {
public:
    EStoreRefused(const std::string& message, std::string data_json, std::string reason)
        : EApplicationError(message), data_json_(std::move(data_json)), reason_(std::move(reason)) {}
    const std::string& DataJson() const { return data_json_; }
    const std::string& Reason() const { return reason_; }

private:
    std::string data_json_;
    std::string reason_;
};

// What a refusal of a store on `table` ("CTRLNUMENF" or "LOCALEMISSAO") needs to know.
struct StoreState {
    std::optional<hostlib::TDateTime> current;         // the stored date now, in the locked row
    std::optional<hostlib::TDateTime> latest_invoice;  // of the expectation's control
};

// The refusal for a store of `date` on `code` given what the database holds, or null when the
// store goes ahead. `user_of_current` is asked only for a refusal: who stored the current date.
std::exception_ptr CheckStore(const char* table, const std::string& code, hostlib::TDateTime date,
                              const StoreExpectation& expectation, const StoreState& state,
                              const std::function<std::optional<std::string>()>& user_of_current);

// A date of `table` for `code` in no form the server reads: the request cannot be answered.
EApplicationError UnreadableDateError(std::string_view table, const std::string& code);

// Two stored dates are the same when they agree to the second (fractions do not count); null is
// the same as null only.
bool SameStoredDate(const std::optional<hostlib::TDateTime>& a, const std::optional<hostlib::TDateTime>& b);

}  // namespace appserver
