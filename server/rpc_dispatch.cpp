#include "rpc_dispatch.h"

#include <nlohmann/json.hpp>

#include "hostlib/db/database_error.h"

namespace appserver {

using Json = nlohmann::json;

namespace {

const char* const kMethods[] = {"GetSerieNF", "GetMaxData", "UpdateCtrlNumNF", "UpDtLocal"};

// A failure with its JSON-RPC code and a message the user can read.
struct RpcFailure {
    int code;
    std::string message;
};

Json ErrorResponse(const Json& id, int code, const std::string& message) {
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

// Invalid UTF-8 (a name cut short, say) is replaced rather than failing the answer.
std::string Serialize(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

std::string Shortened(const std::string& text) { return text.size() <= 64 ? text : text.substr(0, 64) + "..."; }

void RequireCount(const Json& params, std::size_t count) {
    if (params.size() != count) {
        throw RpcFailure{kInvalidParams, "Número de parâmetros inválido: esperados " + std::to_string(count) +
                                             ", recebidos " + std::to_string(params.size()) + "."};
    }
}

const std::string& TextParam(const Json& params, std::size_t index) {
    if (!params[index].is_string()) {
        throw RpcFailure{kInvalidParams, "Parâmetro " + std::to_string(index + 1) + " deve ser um texto."};
    }
    return params[index].get_ref<const std::string&>();
}

hostlib::TDateTime DateParam(const Json& params, std::size_t index) {
    const std::string& text = TextParam(params, index);
    const auto date = hostlib::TryIsoToDateTime(text);
    if (!date || text.size() < 10) {
        throw RpcFailure{kInvalidParams,
                         "Parâmetro " + std::to_string(index + 1) + " deve ser uma data AAAA-MM-DDTHH:MM:SS."};
    }
    return *date;
}

Json Invoke(const std::string& method, const Json& params, DataEmissaoModule& module, FloorMethod floor) {
    if (floor == FloorMethod::On && method == "Ping") return nullptr;
    if (method == "GetSerieNF") {
        RequireCount(params, 5);
        return hostlib::PacketToJson(module.GetSerieNF(TextParam(params, 0), TextParam(params, 1),
                                                       TextParam(params, 2), TextParam(params, 3),
                                                       TextParam(params, 4)));
    }
    if (method == "GetMaxData") {
        RequireCount(params, 1);
        return hostlib::PacketToJson(module.GetMaxData(TextParam(params, 0)));
    }
    if (method == "UpdateCtrlNumNF") {
        RequireCount(params, 2);
        module.UpdateCtrlNumNF(DateParam(params, 0), TextParam(params, 1));
        return nullptr;
    }
    if (method == "UpDtLocal") {
        RequireCount(params, 2);
        module.UpDtLocal(DateParam(params, 0), TextParam(params, 1));
        return nullptr;
    }
    throw RpcFailure{kMethodNotFound, "Método '" + Shortened(method) + "' não encontrado."};
}

// The failure of the error that is being handled, in words fit for the user.
RpcFailure CurrentFailure() {
    try {
        throw;
    } catch (const RpcFailure& failure) {
        return failure;
    } catch (const EApplicationError& e) {
        return {kApplicationError, e.what()};
    } catch (const hostlib::EDatabaseError& e) {
        switch (e.Category()) {
            case hostlib::DatabaseErrorCategory::ConnectionFailed:
                return {kApplicationError, "Banco de dados indisponível. Tente novamente em instantes."};
            case hostlib::DatabaseErrorCategory::Busy:
                return {kApplicationError, "O banco de dados está ocupado. Tente novamente."};
            default: return {kInternalError, "Erro interno do servidor de aplicação."};
        }
    } catch (...) {
        return {kInternalError, "Erro interno do servidor de aplicação."};
    }
}

// One request object; nothing for a notification.
std::optional<Json> HandleOne(const Json& request, DataEmissaoModule& module, RpcSummary& summary, FloorMethod floor) {
    Json id = nullptr;
    bool notification = false;
    try {
        if (!request.is_object()) throw RpcFailure{kInvalidRequest, "Requisição inválida."};
        if (const auto it = request.find("id"); it != request.end()) {
            if (!it->is_string() && !it->is_number() && !it->is_null()) {
                throw RpcFailure{kInvalidRequest, "Requisição inválida: 'id' deve ser texto ou número."};
            }
            id = *it;
        } else {
            notification = true;
        }
        const auto version = request.find("jsonrpc");
        if (version == request.end() || *version != "2.0") {
            throw RpcFailure{kInvalidRequest, "Requisição inválida: 'jsonrpc' deve ser \"2.0\"."};
        }
        const auto method = request.find("method");
        if (method == request.end() || !method->is_string()) {
            throw RpcFailure{kInvalidRequest, "Requisição inválida: falta o nome do método."};
        }
        summary.method = Shortened(method->get<std::string>());
        Json params = Json::array();
        if (const auto it = request.find("params"); it != request.end()) {
            if (!it->is_array()) throw RpcFailure{kInvalidParams, "Os parâmetros devem ser posicionais (uma lista)."};
            params = *it;
        }
        Json result = Invoke(method->get<std::string>(), params, module, floor);
        if (notification) return std::nullopt;
        return Json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
    } catch (...) {
        const RpcFailure failure = CurrentFailure();
        summary.outcome = "error " + std::to_string(failure.code);
        if (notification && failure.code != kInvalidRequest) return std::nullopt;
        return ErrorResponse(id, failure.code, failure.message);
    }
}

}  // namespace

const char* const* RpcMethodNames(std::size_t& count) {
    count = std::size(kMethods);
    return kMethods;
}

std::optional<std::string> HandleRpcBody(std::string_view body, DataEmissaoModule& module, RpcSummary& summary,
                                         FloorMethod floor) {
    const Json request = Json::parse(body, nullptr, false);
    if (request.is_discarded()) {
        summary.outcome = "error " + std::to_string(kParseError);
        return Serialize(ErrorResponse(nullptr, kParseError, "Erro de análise: o corpo não é um JSON válido."));
    }
    if (!request.is_array()) {
        auto response = HandleOne(request, module, summary, floor);
        return response ? std::optional<std::string>(Serialize(*response)) : std::nullopt;
    }
    if (request.empty()) {
        summary.outcome = "error " + std::to_string(kInvalidRequest);
        return Serialize(ErrorResponse(nullptr, kInvalidRequest, "Requisição inválida: lote vazio."));
    }
    Json responses = Json::array();
    summary.method = "batch";
    for (const auto& element : request) {
        RpcSummary element_summary;
        if (auto response = HandleOne(element, module, element_summary, floor)) {
            responses.push_back(std::move(*response));
        }
        if (element_summary.outcome != "ok") summary.outcome = element_summary.outcome;
    }
    if (responses.empty()) return std::nullopt;
    return Serialize(responses);
}

}  // namespace appserver
