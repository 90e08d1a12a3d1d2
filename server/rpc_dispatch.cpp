#include "rpc_dispatch.h"

#include <array>
#include <optional>

#include "data_emissao_contract.h"
#include "hostlib/datetime.h"
#include "json_text.h"
#include "wire_date.h"

namespace appserver {

namespace {

// A request refused before it runs, with its JSON-RPC code.
struct RpcFailure {
    int code;
    std::string message;
};

std::string Shortened(const std::string& text) { return text.size() <= 64 ? text : text.substr(0, 64) + "..."; }

void RequireCount(const RpcRequest& request, std::size_t count) {
    if (request.ParamCount() != count) {
        throw RpcFailure{kInvalidParams, "Número de parâmetros inválido: esperados " + std::to_string(count) +
                                             ", recebidos " + std::to_string(request.ParamCount()) + "."};
    }
}

const std::string& TextParam(const RpcRequest& request, std::size_t index) {
    const RpcParam& param = request.Param(index);
    if (!param.IsText()) {
        throw RpcFailure{kInvalidParams, "Parâmetro " + std::to_string(index + 1) + " deve ser um texto."};
    }
    // Some databases end a text at a NUL: the code stored on would not be the code sent.
    if (param.text.find('\0') != std::string::npos) {
        throw RpcFailure{kInvalidParams,
                         "Parâmetro " + std::to_string(index + 1) + " contém um caractere nulo, que não é aceito."};
    }
    return param.text;
}

hostlib::TDateTime DateParam(const RpcRequest& request, std::size_t index) {
    const std::string& text = TextParam(request, index);
    const auto date = ReadWireDate(text);
    if (!date) {
        throw RpcFailure{kInvalidParams, "Parâmetro " + std::to_string(index + 1) +
                                             " deve ser uma data AAAA-MM-DDTHH:MM:SS (ou AAAA-MM-DDTHH:MM:SS.mmm)."};
    }
    return *date;
}

// A read writes its packet into the answer; a store is handed to the writer.
using ReadMethod = void (*)(DataEmissaoModule&, const RpcRequest&, std::string&, std::size_t limit);

void GetSerieNF(DataEmissaoModule& reader, const RpcRequest& request, std::string& out, std::size_t limit) {
    reader.WriteSerieNF(TextParam(request, 0), TextParam(request, 1), TextParam(request, 2), TextParam(request, 3),
                        TextParam(request, 4), out, limit);
}

void GetMaxData(DataEmissaoModule& reader, const RpcRequest& request, std::string& out, std::size_t) {
    // One row: no limit can be passed.
    reader.WriteMaxData(TextParam(request, 0), out);
}

void GetHistorico(DataEmissaoModule& reader, const RpcRequest& request, std::string& out, std::size_t limit) {
    const std::string& table = TextParam(request, 0);
    if (table != "CTRLNUMENF" && table != "LOCALEMISSAO") {
        throw RpcFailure{kInvalidParams, "Parâmetro 1 deve ser \"CTRLNUMENF\" ou \"LOCALEMISSAO\"."};
    }
    // The most rows: a number, or a text of digits, from 1 to 1000.
    const RpcParam& most = request.Param(2);
    long long rows = 0;
    const bool digits = (most.kind == RpcParam::Kind::Number || most.kind == RpcParam::Kind::Text) &&
                        !most.text.empty() && most.text.size() <= 6 &&
                        most.text.find_first_not_of("0123456789") == std::string::npos;
    if (digits) rows = std::stoll(most.text);
    if (!digits || rows < 1 || rows > 1000) {
        throw RpcFailure{kInvalidParams, "Parâmetro 3 deve ser um número de 1 a 1000."};
    }
    reader.WriteHistorico(table, TextParam(request, 1), static_cast<int>(rows), out, limit);
}

void GetDivergencias(DataEmissaoModule& reader, const RpcRequest&, std::string& out, std::size_t) {
    reader.WriteDivergencias(out);
}

struct MethodEntry {
    vor17000::MethodSignature signature;
    ReadMethod read = nullptr;
    std::optional<StoreTarget> store;
};

// The dispatch table: each method of the contract with what runs it.
const std::array<MethodEntry, vor17000::kMethods.size()>& Methods() {
    using vor17000::Method;
    static const std::array<MethodEntry, vor17000::kMethods.size()> table = {{
        {vor17000::SignatureOf(Method::GetSerieNF), &GetSerieNF, std::nullopt},
        {vor17000::SignatureOf(Method::GetMaxData), &GetMaxData, std::nullopt},
        {vor17000::SignatureOf(Method::UpdateCtrlNumNF), nullptr, StoreTarget::NumberingControl},
        {vor17000::SignatureOf(Method::UpDtLocal), nullptr, StoreTarget::IssueLocation},
        {vor17000::SignatureOf(Method::GetHistorico), &GetHistorico, std::nullopt},
        {vor17000::SignatureOf(Method::GetDivergencias), &GetDivergencias, std::nullopt},
    }};
    return table;
}

const MethodEntry* FindMethod(const std::string& name) {
    for (const auto& entry : Methods()) {
        if (entry.signature.name == name) return &entry;
    }
    return nullptr;
}

}  // namespace

const std::string& RpcMethodList() {
    static const std::string list = [] {
        std::string out = "[";
        for (const auto& signature : vor17000::kMethods) {
            if (out.size() > 1) out += ',';
            AppendJsonString(out, signature.name);
        }
        return out + "]";
    }();
    return list;
}

RpcCall::RpcCall(DataEmissaoModule& reader, StoreWriter& writer, RpcLimits limits, RequestMetrics* metrics)
    : reader_(reader), writer_(writer), limits_(limits), metrics_(metrics) {}

bool RpcCall::Start(std::string_view body, const Caller& caller, Resume resume) {
    answer_.clear();
    summary_ = RpcSummary{};
    caller_ = &caller;
    resume_ = std::move(resume);
    finished_ = false;
    written_ = 0;
    ReadRpcBody(body, body_);
    // A body refused whole is answered with one error object, batch or not.
    if (body_.outcome != RpcBody::Outcome::Ok) body_.batch = false;
    switch (body_.outcome) {
        case RpcBody::Outcome::Ok:
            break;
        case RpcBody::Outcome::ParseError:
            WriteError(nullptr, kParseError, "Erro de análise: o corpo não é um JSON válido.");
            Finish();
            return true;
        case RpcBody::Outcome::TooDeep:
            WriteError(nullptr, kInvalidRequest, "Requisição inválida: aninhamento profundo demais.");
            Finish();
            return true;
        case RpcBody::Outcome::EmptyBatch:
            WriteError(nullptr, kInvalidRequest, "Requisição inválida: lote vazio.");
            Finish();
            return true;
        case RpcBody::Outcome::BatchTooLong:
            WriteError(nullptr, kInvalidRequest,
                       "Requisição inválida: lote com mais de " + std::to_string(kMaxBatchLength) + " requisições.");
            Finish();
            return true;
    }
    if (body_.batch) summary_.method = "batch";
    RunFrom(0);
    return finished_;
}

void RpcCall::RunFrom(std::size_t index) {
    for (next_ = index; next_ < body_.count; ++next_) {
        if (!RunOne(body_.slots[next_])) return;  // waits for the writer
    }
    Finish();
}

void RpcCall::Finish() {
    if (body_.batch && written_ > 0) answer_ += ']';
    finished_ = true;
}

std::string RpcCall::TooLargeText() const {
    return "A resposta passaria do limite do servidor (" + std::to_string(limits_.answer_bytes) +
           " bytes); peça menos dados.";
}

void RpcCall::Open(const RpcRequest& request) {
    current_ = &request;
    element_.clear();
    element_ += "{\"jsonrpc\":\"2.0\",\"id\":";
    element_ += request.id_json;
}

// Adds the request's answer to the body's. One that would take the answer past its limit is
// replaced by an error saying so.
void RpcCall::Close() {
    element_ += '}';
    if (answer_.size() + element_.size() + 2 > limits_.answer_bytes && current_ != nullptr) {
        summary_.outcome = "error " + std::to_string(kApplicationError);
        element_.clear();
        element_ += "{\"jsonrpc\":\"2.0\",\"id\":";
        element_ += current_->id_json;
        element_ += ",\"error\":{\"code\":" + std::to_string(kApplicationError) + ",\"message\":";
        AppendJsonString(element_, TooLargeText());
        element_ += "}}";
    }
    current_ = nullptr;
    answer_ += body_.batch ? (written_ == 0 ? "[" : ",") : "";
    answer_ += element_;
    ++written_;
}

void RpcCall::WriteError(const RpcRequest* request, int code, std::string_view message) {
    summary_.outcome = "error " + std::to_string(code);
    current_ = nullptr;
    element_.clear();
    element_ += "{\"jsonrpc\":\"2.0\",\"id\":";
    element_ += request != nullptr ? request->id_json : "null";
    element_ += ",\"error\":{\"code\":" + std::to_string(code) + ",\"message\":";
    AppendJsonString(element_, message);
    element_ += '}';
    Close();
}

void RpcCall::Fail(const RpcRequest& request, std::exception_ptr failure, CauseLog log) {
    std::string cause;
    RpcError error{kInternalError, kInternalErrorText};
    try {
        std::rethrow_exception(failure);
    } catch (const RpcFailure& refused) {
        error = {refused.code, refused.message};
    } catch (const EAnswerTooLarge&) {
        error = {kApplicationError, TooLargeText()};
    } catch (...) {
        error = ToRpcError(std::current_exception(), cause);
        if (log == CauseLog::Write && !cause.empty()) LogEvent(std::string(request.method) + ": " + cause);
        if (metrics_ != nullptr) {
            if (const auto kind = DatabaseFailureOf(std::current_exception())) metrics_->Database(*kind);
        }
    }
    const bool notification = !request.has_id;
    summary_.outcome = "error " + std::to_string(error.code);
    if (notification && error.code != kInvalidRequest) return;
    WriteError(&request, error.code, error.message);
}

bool RpcCall::RunOne(const RpcRequest& request) {
    try {
        if (!request.is_object) throw RpcFailure{kInvalidRequest, "Requisição inválida."};
        if (!request.id_valid) {
            RpcRequest anonymous = request;
            anonymous.id_json = "null";
            anonymous.has_id = true;
            WriteError(&anonymous, kInvalidRequest, "Requisição inválida: 'id' deve ser texto ou número.");
            return true;
        }
        if (!request.version_ok) throw RpcFailure{kInvalidRequest, "Requisição inválida: 'jsonrpc' deve ser \"2.0\"."};
        if (!request.method_is_text) throw RpcFailure{kInvalidRequest, "Requisição inválida: falta o nome do método."};
        if (!body_.batch) summary_.method = Shortened(request.method);
        if (request.params == RpcRequest::Params::NotAList) {
            throw RpcFailure{kInvalidParams, "Os parâmetros devem ser posicionais (uma lista)."};
        }
        if (limits_.floor == FloorMethod::On && request.method == "Ping") {
            if (!request.has_id) return true;
            Open(request);
            element_ += ",\"result\":null";
            Close();
            return true;
        }
        const MethodEntry* method = FindMethod(request.method);
        if (method == nullptr) {
            throw RpcFailure{kMethodNotFound, "Método '" + Shortened(request.method) + "' não encontrado."};
        }
        RequireCount(request, method->signature.arity);
        if (method->read != nullptr) {
            Open(request);
            element_ += ",\"result\":";
            method->read(reader_, request, element_, limits_.answer_bytes);
            if (!request.has_id) return true;
            Close();
            return true;
        }
        StoreRequest store{*method->store,        DateParam(request, 0),
                           TextParam(request, 1), caller_->client != nullptr ? caller_->client->name : std::string(),
                           caller_->user,         caller_->origin};
        if (caller_->client != nullptr && caller_->client->role == ClientRole::Reader) {
            throw EApplicationError("Cliente sem permissão para alterar datas.");
        }
        writer_.Submit(std::move(store), [this, resume = resume_](StoreOutcome outcome) {
            resume([this, outcome] { OnStored(outcome); });
        });
        return false;
    } catch (...) {
        Fail(request, std::current_exception());
        return true;
    }
}

void RpcCall::OnStored(StoreOutcome outcome) {
    const RpcRequest& request = body_.slots[next_];
    if (!outcome.Stored()) {
        Fail(request, outcome.failure, CauseLog::AlreadyWritten);
    } else if (request.has_id) {
        Open(request);
        element_ += ",\"result\":null";
        Close();
    }
    RunFrom(next_ + 1);
}

}  // namespace appserver
