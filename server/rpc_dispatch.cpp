#include "rpc_dispatch.h"

#include <array>
#include <limits>
#include <optional>

#include "data_emissao_contract.h"
#include "core/datetime.h"
#include "json_text.h"
#include "wire_date.h"

namespace appserver {

namespace {

// The least an answer's element takes: room the answer must have for a read to be run.
constexpr std::size_t kSmallestElement = 64;

// A request refused before it runs, with its JSON-RPC code.
struct RpcFailure {
    int code;
    std::string message;
};

// A name sent back in an error, cut at a character (never inside one, which would make the
// answer text that is not UTF-8).
std::string Shortened(const std::string& text) {
    if (text.size() <= 64) return text;
    std::size_t cut = 64;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + "...";
}

void RequireCount(const RpcRequest& request, const vor17000::MethodSignature& signature) {
    const std::size_t fewest = signature.arity - signature.optional;
    if (request.ParamCount() < fewest || request.ParamCount() > signature.arity) {
        const std::string expected = fewest == signature.arity
                                         ? std::to_string(signature.arity)
                                         : "de " + std::to_string(fewest) + " a " + std::to_string(signature.arity);
        throw RpcFailure{kInvalidParams, "Número de parâmetros inválido: esperados " + expected + ", recebidos " +
                                             std::to_string(request.ParamCount()) + "."};
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

// The most rows a read may bring: a number, or a text of digits, from 1 to 1000.
int RowCountParam(const RpcRequest& request, std::size_t index) {
    const RpcParam& most = request.Param(index);
    const bool digits = (most.kind == RpcParam::Kind::Number || most.kind == RpcParam::Kind::Text) &&
                        !most.text.empty() && most.text.size() <= 6 &&
                        most.text.find_first_not_of("0123456789") == std::string::npos;
    const long long rows = digits ? std::stoll(most.text) : 0;
    if (rows < 1 || rows > 1000) {
        throw RpcFailure{kInvalidParams, "Parâmetro " + std::to_string(index + 1) + " deve ser um número de 1 a 1000."};
    }
    return static_cast<int>(rows);
}

// A store's third parameter: what the screen saw and checked. Unknown members and members of
// the wrong type are invalid parameters, as a wrong parameter is.
StoreExpectation ExpectationParam(const RpcRequest& request, std::size_t index, const StoreRequest& store) {
    const RpcParam& param = request.Param(index);
    const std::string where = "Parâmetro " + std::to_string(index + 1);
    if (param.kind != RpcParam::Kind::Object) throw RpcFailure{kInvalidParams, where + " deve ser um objeto."};
    StoreExpectation expectation;
    if (store.target == StoreTarget::NumberingControl) expectation.control = store.code;
    bool named_control = false;
    for (std::size_t m = 0; m < param.member_count; ++m) {
        const RpcMember& member = param.member_slots[m];
        const auto wrong = [&](const std::string& what) {
            return RpcFailure{kInvalidParams, where + ": \"" + Shortened(member.name) + "\" " + what};
        };
        if (member.name == vor17000::kPreviousMember) {
            if (member.kind == RpcValueKind::Null) {
                expectation.previous = StoreExpectation::Previous{};
            } else if (member.kind == RpcValueKind::Text) {
                const auto date = ReadWireDate(member.text);
                if (!date) throw wrong("deve ser uma data AAAA-MM-DDTHH:MM:SS ou null.");
                expectation.previous = StoreExpectation::Previous{*date};
            } else {
                throw wrong("deve ser uma data AAAA-MM-DDTHH:MM:SS ou null.");
            }
        } else if (member.name == vor17000::kInvoicesMember) {
            if (member.kind == RpcValueKind::Text && member.text == vor17000::kInvoicesByTime) {
                expectation.invoices = InvoiceCheck::ByTime;
            } else if (member.kind == RpcValueKind::Text && member.text == vor17000::kInvoicesByDay) {
                expectation.invoices = InvoiceCheck::ByDay;
            } else {
                throw wrong("deve ser \"hora\" ou \"dia\".");
            }
        } else if (member.name == vor17000::kControlMember && store.target == StoreTarget::IssueLocation) {
            if (member.kind != RpcValueKind::Text || member.text.empty() ||
                member.text.find('\0') != std::string::npos) {
                throw wrong("deve ser o código de um controle de numeração.");
            }
            expectation.control = member.text;
            named_control = true;
        } else {
            throw wrong("não é um membro aceito.");
        }
    }
    if (store.target == StoreTarget::IssueLocation && expectation.invoices != InvoiceCheck::None && !named_control) {
        throw RpcFailure{kInvalidParams, where + ": \"notas\" num local de emissão pede \"controle\"."};
    }
    return expectation;
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
    reader.WriteHistorico(table, TextParam(request, 1), RowCountParam(request, 2), out, limit);
}

void GetDivergencias(DataEmissaoModule& reader, const RpcRequest& request, std::string& out, std::size_t) {
    // No parameters: every control, as far as the answer's limit allows; else a page.
    const int rows = request.ParamCount() > 0 ? RowCountParam(request, 0) : std::numeric_limits<int>::max();
    reader.WriteDivergencias(rows, request.ParamCount() > 1 ? TextParam(request, 1) : std::string(), out);
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
    if (body_.batch) {
        summary_.method = "batch";
        summary_.metric = "batch";
    }
    RunFrom(0);
    return finished_;
}

void RpcCall::ReleaseLargeBuffers(std::size_t keep) {
    const auto release = [keep](std::string& buffer) {
        if (buffer.capacity() > keep) std::string().swap(buffer);
    };
    release(answer_);
    release(element_);
    std::size_t kept = 0;
    for (auto& request : body_.slots) {
        for (auto& param : request.param_slots) {
            release(param.text);
            kept += param.text.capacity();
        }
        release(request.method);
    }
    // A batch of a hundred requests leaves a hundred slots behind: more than one body needs.
    if (body_.slots.size() > 1 && kept > keep) std::vector<RpcRequest>().swap(body_.slots);
}

void RpcCall::RunFrom(std::size_t index) {
    for (next_ = index; next_ < body_.count; ++next_) {
        // After a read, the rest of a batch waits its turn behind the loop's other
        // connections: one body of heavy reads does not hold the loop for all of them.
        if (ran_read_ && next_ > index) {
            ran_read_ = false;
            resume_([this, at = next_] { RunFrom(at); });
            return;
        }
        if (!RunOne(body_.slots[next_])) return;  // waits for the writer
    }
    ran_read_ = false;
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

void RpcCall::OpenAnswer(std::string_view id_json) {
    element_.clear();
    element_ += "{\"jsonrpc\":\"2.0\",\"id\":";
    element_ += id_json;
}

void RpcCall::Open(const RpcRequest& request) {
    current_ = &request;
    OpenAnswer(request.id_json);
}

// Adds the request's answer to the body's. One that would take the answer past its limit is
// replaced by an error saying so.
void RpcCall::Close() {
    element_ += '}';
    if (answer_.size() + element_.size() + 2 > limits_.answer_bytes && current_ != nullptr) {
        summary_.outcome = RequestOutcome::RpcError(kApplicationError);
        OpenAnswer(current_->id_json);
        element_ += ",\"error\":{\"code\":" + std::to_string(kApplicationError) + ",\"message\":";
        AppendJsonString(element_, TooLargeText());
        element_ += "}}";
    }
    current_ = nullptr;
    answer_ += body_.batch ? (written_ == 0 ? "[" : ",") : "";
    answer_ += element_;
    ++written_;
}

void RpcCall::WriteError(const RpcRequest* request, int code, std::string_view message, std::string_view data) {
    summary_.outcome = RequestOutcome::RpcError(code);
    current_ = nullptr;
    OpenAnswer(request != nullptr ? request->id_json : "null");
    element_ += ",\"error\":{\"code\":" + std::to_string(code) + ",\"message\":";
    AppendJsonString(element_, message);
    if (!data.empty()) {
        element_ += ",\"data\":";
        element_ += data;
    }
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
    summary_.outcome = RequestOutcome::RpcError(error.code);
    if (notification && error.code != kInvalidRequest) return;
    WriteError(&request, error.code, error.message, error.data);
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
        const MethodEntry* method = FindMethod(request.method);
        if (method == nullptr) {
            throw RpcFailure{kMethodNotFound, "Método '" + Shortened(request.method) + "' não encontrado."};
        }
        if (!body_.batch) summary_.metric = method->signature.name;
        RequireCount(request, method->signature);
        if (method->read != nullptr) {
            // A read sent as a notification has no one to read its answer: it is not run.
            if (!request.has_id) return true;
            // Once the answer is full, a read would only be thrown away: it is not run either.
            if (answer_.size() + kSmallestElement > limits_.answer_bytes) throw EAnswerTooLarge("");
            ran_read_ = true;
            Open(request);
            element_ += ",\"result\":";
            method->read(reader_, request, element_, limits_.answer_bytes);
            Close();
            return true;
        }
        StoreRequest store;
        store.target = *method->store;
        store.date = DateParam(request, 0);
        store.code = TextParam(request, 1);
        store.client = caller_->client != nullptr ? caller_->client->name : std::string();
        store.user = caller_->user;
        store.origin = caller_->origin;
        if (request.ParamCount() > 2) store.expect = ExpectationParam(request, 2, store);
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
