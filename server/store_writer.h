#pragma once
// The one writer of a server: every store goes to it, and it commits whatever is waiting as
// one transaction. Each store is answered only once the commit that holds it is durable. A
// store that fails on its own is answered with its error and the others are committed
// without it; what fails the whole transaction (the database away or busy) fails them all.
#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "database_file_guard.h"
#include "core/datetime.h"
#include "server_log.h"
#include "server_metrics.h"
#include "prepared_session.h"
#include "store_strategy.h"

namespace appserver {

// Not stored: the failure says why (EApplicationError for a code not registered).
struct StoreOutcome {
    std::exception_ptr failure;
    bool Stored() const { return failure == nullptr; }
};

// Runs on the writer's thread (on the submitter's, for a store refused while stopping).
using StoreCompletion = std::function<void(StoreOutcome)>;

struct StoreWriterStatistics {
    std::uint64_t commits = 0;
    std::uint64_t stores = 0;
    std::uint64_t largest_group = 0;
    // The sizes of the groups committed, added up: a group's unknown codes count too.
    std::uint64_t group_size_sum = 0;
    // Commits by the number of stores they held, in the buckets of kGroupBuckets and a last
    // one for larger groups.
    std::array<std::uint64_t, kGroupBuckets.size() + 1> group_sizes{};
    // Stores refused by what they expected: the date changed meanwhile, or earlier than an invoice.
    std::uint64_t refused_changed = 0;
    std::uint64_t refused_invoices = 0;
};

class StoreWriter {
public:
    StoreWriter(std::string database_url, hostlib::SessionOptions session_options, DatabaseFileGuard& file,
                std::size_t largest_group = 256);
    ~StoreWriter();
    StoreWriter(const StoreWriter&) = delete;
    StoreWriter& operator=(const StoreWriter&) = delete;

    void Start();
    // Commits what is waiting, then ends the writer's thread.
    void Stop();
    void Submit(StoreRequest request, StoreCompletion completion);
    // The database's log was deleted under the server: the writer, whose session holds it open
    // with what it wrote, saves it into the database file and the database is given up.
    void AskToSaveLog();
    StoreWriterStatistics Statistics() const;
    SessionKeeper& Session() { return session_.Keeper(); }

private:
    struct Pending {
        StoreRequest request;
        StoreCompletion completion;
    };
    using Result = StoreResult::Result;
    // How one attempt at a group ended.
    struct Attempt {
        // TogetherFailed: a store of the group failed the statement they shared; go one by
        // one to find it.
        enum class Result { Committed, OneFailed, AllFailed, TogetherFailed } result = Result::Committed;
        std::size_t failed_index = 0;
        std::exception_ptr failure;
    };

    // A database that can stores a group with one statement per table; a group that statement
    // refused goes one by one.
    enum class GroupMode { Together, OneByOne };

    void Run();
    void Commit(std::vector<Pending>& group);
    Attempt TryGroup(std::vector<Pending*>& group, std::vector<StoreResult>& results, GroupMode mode);
    void Complete(Pending& pending, std::exception_ptr failure);
    // A refusal counted by its reason, and told in the log.
    void CountRefusal(const StoreRequest& request, std::exception_ptr refusal);
    bool SaveLog();

    PreparedSession<StoreStrategy> session_;
    DatabaseFileGuard& file_;
    std::size_t largest_group_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Pending> queue_;
    bool stopping_ = false;
    bool save_log_asked_ = false;
    StoreWriterStatistics statistics_;
    std::thread thread_;
};

}  // namespace appserver
