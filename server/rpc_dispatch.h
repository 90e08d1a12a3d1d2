#pragma once
// JSON-RPC 2.0 over the remote data module: a body read, each request checked and run, and
// the answer written. Reads run at once on the connection's own module; stores go to the
// store writer and the call goes on when the writer is done with them.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "access_control.h"
#include "data_emissao_module.h"
#include "rpc_errors.h"
#include "rpc_request.h"
#include "server_metrics.h"
#include "store_writer.h"

namespace appserver {

// What the request log and the metrics tell of one body.
struct RpcSummary {
    std::string method = "-";  // as the client named it (cut), for the log
    // The metrics' label: a method of the contract, "batch", or "other" for any other name (a
    // call named "health" is not the health check).
    std::string_view metric = "other";
    RequestOutcome outcome;
};

// Who sent a body, as far as the stores need to know.
struct Caller {
    const Client* client = nullptr;  // null: the server takes no tokens
    std::string user;                // as the host reports it (may be empty)
    std::string origin;              // the client's address
};

struct RpcLimits {
    // The largest answer the server builds for one body; a request whose answer would pass
    // it is answered with an error instead.
    std::size_t answer_bytes = 4 * 1024 * 1024;
};

// The methods, as answered to GET /rpc/<module>: a JSON list.
const std::string& RpcMethodList();

// One body's run. A connection keeps one and reuses it from request to request.
class RpcCall {
public:
    // Runs `work` later on the connection's own thread (the writer finishes elsewhere).
    using Resume = std::function<void(std::function<void()> work)>;

    // `metrics` (may be null) counts the database failures met.
    RpcCall(DataEmissaoModule& reader, StoreWriter& writer, RpcLimits limits, RequestMetrics* metrics = nullptr);

    // Runs `body`. True when the answer is ready now; otherwise it will be after a `work`
    // given to `resume` has run and Finished() says so.
    bool Start(std::string_view body, const Caller& caller, Resume resume);
    bool Finished() const { return finished_; }
    // Empty when the body held only notifications (no answer is due).
    const std::string& Answer() const { return answer_; }
    const RpcSummary& Summary() const { return summary_; }
    // Lets go of the memory of buffers that grew past `keep` bytes (an answer of megabytes).
    void ReleaseLargeBuffers(std::size_t keep);

private:
    void RunFrom(std::size_t index);
    // False when the request went to the writer and the call must wait for it.
    bool RunOne(const RpcRequest& request);
    // The answer element up to its id: `{"jsonrpc":"2.0","id":...`.
    void OpenAnswer(std::string_view id_json);
    void Open(const RpcRequest& request);
    void Close();
    void WriteError(const RpcRequest* request, int code, std::string_view message, std::string_view data = {});
    void OnStored(StoreOutcome outcome);
    // Whether the cause of a failure still has to go to the log (the writer logs its own).
    enum class CauseLog { Write, AlreadyWritten };
    void Fail(const RpcRequest& request, std::exception_ptr failure, CauseLog log = CauseLog::Write);
    void Finish();
    std::string TooLargeText() const;

    DataEmissaoModule& reader_;
    StoreWriter& writer_;
    RpcLimits limits_;
    RequestMetrics* metrics_;
    RpcBody body_;
    std::string answer_;
    std::string element_;  // the answer of the request being run
    RpcSummary summary_;
    const Caller* caller_ = nullptr;
    const RpcRequest* current_ = nullptr;  // the request whose answer is being written
    Resume resume_;
    std::size_t next_ = 0;
    std::size_t written_ = 0;  // answers written so far in a batch
    bool ran_read_ = false;    // a read ran since the loop last had its turn
    bool finished_ = true;
};

}  // namespace appserver
