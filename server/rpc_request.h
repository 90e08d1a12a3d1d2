#pragma once
// A JSON-RPC 2.0 body read by events, without a document tree: what each request says, as far
// as the dispatch needs it. Nesting deeper than a request can use and batches longer than a
// client needs are refused while reading, so no input can make the reader recurse or grow
// without bound.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace appserver {

inline constexpr std::size_t kMaxJsonDepth = 32;
inline constexpr std::size_t kMaxBatchLength = 100;

enum class RpcValueKind { Text, Number, Null, Boolean, Object, Other };

// A member of an object given as a parameter: a scalar (a nested list or object is Other).
struct RpcMember {
    std::string name;
    RpcValueKind kind = RpcValueKind::Other;
    std::string text;  // a text's value, a number or a Boolean as written
};

struct RpcParam {
    using Kind = RpcValueKind;
    Kind kind = Kind::Other;
    std::string text;  // a text's value, a number as written
    // An object's members: only the first `member_count` are this parameter's.
    std::vector<RpcMember> member_slots;
    std::size_t member_count = 0;
    bool IsText() const { return kind == Kind::Text; }
};

struct RpcRequest {
    enum class Params { Absent, List, NotAList };

    bool is_object = true;
    bool has_id = false;
    bool id_valid = true;          // a text, a number or null
    std::string id_json = "null";  // as it goes back in the answer
    bool version_ok = false;       // "jsonrpc": "2.0"
    bool method_is_text = false;
    std::string method;
    Params params = Params::Absent;
    // Only the first `param_count` are this request's; the rest keep their capacity.
    std::vector<RpcParam> param_slots;
    std::size_t param_count = 0;

    std::size_t ParamCount() const { return param_count; }
    const RpcParam& Param(std::size_t i) const { return param_slots[i]; }
    void Reset();
};

struct RpcBody {
    enum class Outcome { Ok, ParseError, TooDeep, EmptyBatch, BatchTooLong };

    Outcome outcome = Outcome::Ok;
    bool batch = false;
    // Only the first `count` are this body's; the rest are kept for the next one.
    std::vector<RpcRequest> slots;
    std::size_t count = 0;
};

// Reads `body` into `into`, reusing what it holds.
void ReadRpcBody(std::string_view body, RpcBody& into);

}  // namespace appserver
