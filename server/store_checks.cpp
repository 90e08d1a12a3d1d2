#include "store_checks.h"

#include "data_emissao_contract.h"
#include "core/format_message.h"
#include "core/utf8.h"
#include "json_text.h"

namespace appserver {

namespace {

std::string WholeSeconds(hostlib::TDateTime date) { return hostlib::DateTimeToIso(date).substr(0, 19); }

void AppendDateOrNull(std::string& out, const std::optional<hostlib::TDateTime>& date) {
    if (date) {
        AppendJsonString(out, WholeSeconds(*date));
    } else {
        out += "null";
    }
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
        const std::string what = std::string(table) == "LOCALEMISSAO" ? "do local de emissão " : "do controle ";
        std::string message = "A data de emissão " + what + code;
        message += state.current ? " foi alterada para " + hostlib::DateToStr(*state.current) : " foi apagada";
        if (user && !user->empty()) message += " por " + *user;
        message += " enquanto esta tela estava aberta. Confira a data e confirme de novo.";
        std::string data = "{";
        AppendJsonString(data, vor17000::kReasonMember);
        data += ':';
        AppendJsonString(data, vor17000::kChangedMeanwhile);
        data += ',';
        AppendJsonString(data, vor17000::kCurrentMember);
        data += ':';
        AppendDateOrNull(data, state.current);
        data += ',';
        AppendJsonString(data, vor17000::kUserMember);
        data += ':';
        if (user && !user->empty()) {
            AppendJsonString(data, *user);
        } else {
            data += "null";
        }
        data += '}';
        return std::make_exception_ptr(EStoreRefused(message, data, std::string(vor17000::kChangedMeanwhile)));
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
            std::string data = "{";
            AppendJsonString(data, vor17000::kReasonMember);
            data += ':';
            AppendJsonString(data, vor17000::kEarlierThanInvoice);
            data += ',';
            AppendJsonString(data, vor17000::kInvoiceMember);
            data += ':';
            AppendDateOrNull(data, latest);
            data += '}';
            return std::make_exception_ptr(EStoreRefused(message, data, std::string(vor17000::kEarlierThanInvoice)));
        }
    }
    return nullptr;
}

}  // namespace appserver
