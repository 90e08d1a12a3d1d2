#include "rpc_request.h"

#include <array>
#include <nlohmann/json.hpp>

namespace appserver {

void RpcRequest::Reset() {
    is_object = true;
    has_id = false;
    id_valid = true;
    id_json = "null";
    version_ok = false;
    method_is_text = false;
    method.clear();
    params = Params::Absent;
    param_count = 0;
}

namespace {

using Json = nlohmann::json;

enum class Key { Id, Version, Method, Params, Other };

Key KeyOf(std::string_view name) {
    if (name == "id") return Key::Id;
    if (name == "jsonrpc") return Key::Version;
    if (name == "method") return Key::Method;
    if (name == "params") return Key::Params;
    return Key::Other;
}

// Events of the JSON reader turned into requests. Depth d is the number of open containers;
// request objects sit at depth 1 (a single request) or 2 (the elements of a batch).
class RequestEvents : public nlohmann::json_sax<Json> {
public:
    explicit RequestEvents(RpcBody& body) : body_(body) {}

    bool null() override { return Scalar(ScalarKind::Null, {}); }
    bool boolean(bool value) override { return Scalar(ScalarKind::Boolean, value ? "true" : "false"); }
    bool number_integer(number_integer_t value) override { return Number(std::to_string(value)); }
    bool number_unsigned(number_unsigned_t value) override { return Number(std::to_string(value)); }
    bool number_float(number_float_t, const string_t& text) override { return Number(text); }
    bool string(string_t& value) override { return Scalar(ScalarKind::Text, value); }
    bool binary(binary_t&) override { return Scalar(ScalarKind::Other, {}); }
    bool key(string_t& name) override {
        if (depth_ == request_depth_ && in_request_) key_ = KeyOf(name);
        if (InParamObject() && depth_ == request_depth_ + 2) member_name_ = name;
        return true;
    }
    bool start_object(std::size_t) override { return Open(Container::Object); }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return Open(Container::Array); }
    bool end_array() override { return Close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        if (body_.outcome == RpcBody::Outcome::Ok) body_.outcome = RpcBody::Outcome::ParseError;
        return false;
    }

private:
    enum class Container { Object, Array };
    enum class ScalarKind { Null, Text, Number, Boolean, Other };

    static RpcValueKind ValueKindOf(ScalarKind kind) {
        switch (kind) {
            case ScalarKind::Text:
                return RpcValueKind::Text;
            case ScalarKind::Number:
                return RpcValueKind::Number;
            case ScalarKind::Null:
                return RpcValueKind::Null;
            case ScalarKind::Boolean:
                return RpcValueKind::Boolean;
            case ScalarKind::Other:
                break;
        }
        return RpcValueKind::Other;
    }
    // Inside an object that is a parameter of the current request.
    bool InParamObject() const { return in_request_ && param_object_; }

    RpcRequest& Begin(bool is_object) {
        if (body_.count == body_.slots.size()) body_.slots.emplace_back();
        RpcRequest& request = body_.slots[body_.count++];
        request.Reset();
        request.is_object = is_object;
        in_request_ = is_object;
        key_ = Key::Other;
        return request;
    }
    RpcRequest& Current() { return body_.slots[body_.count - 1]; }
    bool InParamsList() const {
        return in_request_ && key_ == Key::Params && depth_ == request_depth_ + 1 &&
               containers_[depth_] == Container::Array;
    }

    bool Number(const std::string& text) { return Scalar(ScalarKind::Number, text); }

    bool Scalar(ScalarKind kind, std::string_view text) {
        if (depth_ == 0 || (body_.batch && depth_ == 1)) {
            // A lone value where a request object belongs.
            if (body_.batch && body_.count == kMaxBatchLength) return TooLong();
            Begin(false);
            return true;
        }
        if (in_request_ && depth_ == request_depth_) {
            RpcRequest& request = Current();
            switch (key_) {
                case Key::Id:
                    request.has_id = true;
                    request.id_valid = kind == ScalarKind::Text || kind == ScalarKind::Number || kind == ScalarKind::Null;
                    if (kind == ScalarKind::Text) {
                        request.id_json = Json(std::string(text)).dump();
                    } else if (kind == ScalarKind::Number) {
                        request.id_json = std::string(text);
                    } else {
                        request.id_json = "null";
                    }
                    break;
                case Key::Version:
                    request.version_ok = kind == ScalarKind::Text && text == "2.0";
                    break;
                case Key::Method:
                    request.method_is_text = kind == ScalarKind::Text;
                    request.method = kind == ScalarKind::Text ? std::string(text) : std::string();
                    break;
                case Key::Params:
                    request.params = RpcRequest::Params::NotAList;
                    break;
                case Key::Other:
                    break;
            }
            return true;
        }
        if (InParamsList()) {
            AddParam(ValueKindOf(kind), text);
        } else if (InParamObject() && depth_ == request_depth_ + 2) {
            AddMember(ValueKindOf(kind), text);
        }
        return true;
    }

    void AddMember(RpcValueKind kind, std::string_view text) {
        RpcParam& param = Current().param_slots[Current().param_count - 1];
        if (param.member_count == param.member_slots.size()) param.member_slots.emplace_back();
        RpcMember& member = param.member_slots[param.member_count++];
        member.name = member_name_;
        member.kind = kind;
        member.text.assign(text);
    }

    void AddParam(RpcParam::Kind kind, std::string_view text) {
        RpcRequest& request = Current();
        if (request.param_count == request.param_slots.size()) request.param_slots.emplace_back();
        RpcParam& param = request.param_slots[request.param_count++];
        param.kind = kind;
        param.text.assign(text);
        param.member_count = 0;
    }

    bool Open(Container container) {
        if (depth_ + 1 >= kMaxJsonDepth) {
            body_.outcome = RpcBody::Outcome::TooDeep;
            return false;
        }
        const std::size_t depth = ++depth_;
        containers_[depth] = container;
        if (depth == 1) {
            body_.batch = container == Container::Array;
            request_depth_ = body_.batch ? 2 : 1;
            if (!body_.batch) Begin(true);
            return true;
        }
        if (body_.batch && depth == 2) {
            if (body_.count == kMaxBatchLength) return TooLong();
            Begin(container == Container::Object);
            return true;
        }
        if (in_request_ && depth == request_depth_ + 1 && containers_[request_depth_] == Container::Object) {
            RpcRequest& request = Current();
            switch (key_) {
                case Key::Id:
                    request.has_id = true;
                    request.id_valid = false;
                    break;
                case Key::Version:
                    request.version_ok = false;
                    break;
                case Key::Method:
                    request.method_is_text = false;
                    request.method.clear();
                    break;
                case Key::Params:
                    request.params =
                        container == Container::Array ? RpcRequest::Params::List : RpcRequest::Params::NotAList;
                    request.param_count = 0;  // a repeated key: the last one counts
                    break;
                case Key::Other:
                    break;
            }
            return true;
        }
        if (depth == request_depth_ + 2 && in_request_ && key_ == Key::Params &&
            containers_[request_depth_ + 1] == Container::Array) {
            // An object as a parameter keeps its scalar members; a list is just some other value.
            AddParam(container == Container::Object ? RpcValueKind::Object : RpcValueKind::Other, {});
            param_object_ = container == Container::Object;
            return true;
        }
        if (InParamObject() && depth == request_depth_ + 3) AddMember(RpcValueKind::Other, {});
        return true;
    }

    bool Close() {
        if (depth_ == request_depth_ + 2) param_object_ = false;
        if (depth_ == request_depth_) in_request_ = false;
        if (depth_ > 0) --depth_;
        return true;
    }

    bool TooLong() {
        body_.outcome = RpcBody::Outcome::BatchTooLong;
        return false;
    }

    RpcBody& body_;
    std::size_t depth_ = 0;
    std::size_t request_depth_ = 1;
    bool in_request_ = false;
    bool param_object_ = false;  // the parameter being read is an object
    std::string member_name_;
    Key key_ = Key::Other;
    std::array<Container, kMaxJsonDepth + 1> containers_{};
};

}  // namespace

void ReadRpcBody(std::string_view body, RpcBody& into) {
    into.outcome = RpcBody::Outcome::Ok;
    into.batch = false;
    into.count = 0;
    RequestEvents events(into);
    const bool read = Json::sax_parse(body.begin(), body.end(), &events);
    if (!read && into.outcome == RpcBody::Outcome::Ok) into.outcome = RpcBody::Outcome::ParseError;
    if (into.outcome == RpcBody::Outcome::Ok && into.batch && into.count == 0) {
        into.outcome = RpcBody::Outcome::EmptyBatch;
    }
}

}  // namespace appserver
