#include "store_checks.h"

#include <initializer_list>
#include <nlohmann/json.hpp>

#include "data_emissao_contract.h"
#include "core/format_message.h"
#include "core/utf8.h"

namespace appserver {

namespace {

std::string WholeSeconds(hostlib::TDateTime date) { return hostlib::DateTimeToIso(date).substr(0, 19); }

nlohmann::ordered_json DateOrNull(const std::optional<hostlib::TDateTime>& date) {
    return date ? nlohmann::ordered_json(WholeSeconds(*date)) : nlohmann::ordered_json(nullptr);
}

// A refusal: its reason first in the error's data, then what the client needs to tell the user.
std::exception_ptr Refusal(const std::string& message, std::string_view reason,
                           std::initializer_list<std::pair<std::string_view, nlohmann::ordered_json>> members) {
    nlohmann::ordered_json data;
    data[std::string(vor17000::kReasonMember)] = reason;
    for (const auto& [name, value] : members) data[std::string(name)] = value;
    const std::string text = data.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return std::make_exception_ptr(EStoreRefused(message, text, std::string(reason)));
}

}  // namespace

EApplicationError UnreadableDateError(std::string_view table, const std::string& code) {
    return EApplicationError("Data ilegível gravada na tabela " + std::string(table) + " para o código '" +
                             hostlib::utf8::ValidOrWindows1252(code) + "'.");
}

bool SameStoredDate(const std::optional<hostlib::TDateTime>& a, const std::optional<hostlib::TDateTime>& b) {
    if (!a || !b) return !a && !b;
    return WholeSeconds(*a) == WholeSeconds(*b);
}

std::exception_ptr CheckStore(const char* table, const std::string& code, hostlib::TDateTime date,
                              const StoreExpectation& expectation, const StoreState& state,
                              const std::function<std::optional<std::string>()>& user_of_current) {
    if (expectation.previous && !SameStoredDate(expectation.previous->date, state.current)) {
        const std::optional<std::string> user = user_of_current();
        const std::string what = table == vor17000::kLocationsTable ? "do local de emissão " : "do controle ";
        std::string message = "A data de emissão " + what + code;
        message += state.current ? " foi alterada para " + hostlib::DateToStr(*state.current) : " foi apagada";
        if (user && !user->empty()) message += " por " + *user;
        message += " enquanto esta tela estava aberta. Confira a data e confirme de novo.";
        return Refusal(message, vor17000::kChangedMeanwhile,
                       {{vor17000::kCurrentMember, DateOrNull(state.current)},
                        {vor17000::kUserMember, user && !user->empty() ? nlohmann::ordered_json(*user)
                                                                        : nlohmann::ordered_json(nullptr)}});
    }
    if (expectation.invoices != InvoiceCheck::None && state.latest_invoice) {
        const hostlib::TDateTime latest = *state.latest_invoice;
        const bool earlier = expectation.invoices == InvoiceCheck::ByDay
                                 ? hostlib::DateOf(date) < hostlib::DateOf(latest)
                                 : date < latest;
        if (earlier) {
            // The invoice's date as the screen's field shows it: the time only when it has one.
            const std::string message = hostlib::FormatMessage(vor17000::kEarlierThanInvoiceText,
                                                               {hostlib::DateTimeToStr(latest)});
            return Refusal(message, vor17000::kEarlierThanInvoice, {{vor17000::kInvoiceMember, DateOrNull(latest)}});
        }
    }
    return nullptr;
}

}  // namespace appserver
