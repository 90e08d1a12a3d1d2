#include "stored_date_message.h"

#include "data_emissao_contract.h"

namespace host {

std::optional<std::string> StoredDateMessage(const std::string& method,
                                             const std::vector<hostlib::RemoteArgument>& arguments) {
    using vor17000::Method;
    using vor17000::SignatureOf;
    const char* where = nullptr;
    if (method == SignatureOf(Method::UpdateCtrlNumNF).name) where = "no controle";
    if (method == SignatureOf(Method::UpDtLocal).name) where = "no local de emissão";
    if (where == nullptr || arguments.size() < 2) return std::nullopt;
    const auto* date = std::get_if<hostlib::TDateTime>(&arguments[0]);
    const auto* code = std::get_if<std::string>(&arguments[1]);
    if (date == nullptr || code == nullptr) return std::nullopt;
    return "Data de emissão " + hostlib::DateToStr(*date) + " gravada " + where + " " + *code + ".";
}

}  // namespace host
