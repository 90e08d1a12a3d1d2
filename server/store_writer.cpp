#include "store_writer.h"

#include <algorithm>
#include <utility>

#include "core/db/write_transaction.h"
#include "data_emissao_contract.h"
#include "rpc_errors.h"

namespace appserver {

namespace {

std::string UnknownCodeText(const StoreRequest& request) {
    return request.target == StoreTarget::NumberingControl
               ? "Controle de numeração de NF '" + request.code + "' não cadastrado."
               : "Local de emissão '" + request.code + "' não cadastrado.";
}

}  // namespace

StoreWriter::StoreWriter(std::string database_url, hostlib::SessionOptions session_options, DatabaseFileGuard& file,
                         std::size_t largest_group)
    : session_(std::move(database_url), session_options, file, &StoreStrategy::For),
      file_(file),
      largest_group_(std::max<std::size_t>(1, largest_group)) {}

StoreWriter::~StoreWriter() { Stop(); }

void StoreWriter::Start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { Run(); });
}

void StoreWriter::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    session_.ResetStatements();
}

void StoreWriter::Submit(StoreRequest request, StoreCompletion completion) {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            queue_.push_back({std::move(request), std::move(completion)});
            wake_.notify_one();
            return;
        }
    }
    // Once stopping, the writer's thread may have ended already: nothing would ever answer.
    completion(StoreOutcome{std::make_exception_ptr(EApplicationError("O servidor está sendo encerrado."))});
}

StoreWriterStatistics StoreWriter::Statistics() const {
    std::lock_guard lock(mutex_);
    return statistics_;
}

void StoreWriter::AskToSaveLog() {
    {
        std::lock_guard lock(mutex_);
        save_log_asked_ = true;
    }
    wake_.notify_one();
}

bool StoreWriter::SaveLog() {
    const bool saved = file_.SaveLogThenGiveUp([this] {
        // A writer that never wrote left nothing in the log to save.
        SessionKeeper& keeper = session_.Keeper();
        if (!keeper.IsOpen()) return true;
        SessionKeeper::Call call(keeper);
        return keeper.Database().CheckpointLog();
    });
    LogEvent("banco de dados: " + file_.Reason() + "; gravações recusadas até reiniciar o servidor");
    return saved;
}

void StoreWriter::Run() {
    std::vector<Pending> group;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty() || save_log_asked_; });
            if (std::exchange(save_log_asked_, false)) {
                lock.unlock();
                if (!file_.Gone()) SaveLog();
                continue;
            }
            if (queue_.empty()) return;  // stopping, and nothing left to commit
            while (!queue_.empty() && group.size() < largest_group_) {
                group.push_back(std::move(queue_.front()));
                queue_.pop_front();
            }
        }
        Commit(group);
        group.clear();
    }
}

StoreWriter::Attempt StoreWriter::TryGroup(std::vector<Pending*>& group, std::vector<StoreResult>& results,
                                           GroupMode mode) {
    StoreGroup requests;
    requests.reserve(group.size());
    for (const Pending* pending : group) requests.push_back(&pending->request);
    Attempt attempt;
    // A store that fails on its own: the transaction rolls back, and the others go again
    // without it. What fails the whole transaction goes to the session's policy.
    const auto failed_alone = [&] {
        const auto failure = AsDatabaseError(std::current_exception());
        const auto category = CategoryOf(failure);
        if (category && FailsTheWholeTransaction(*category)) throw;
        session_.ResetStatements();  // prepared afresh, whatever state the failure left
        return failure;
    };
    try {
        session_.Run([&](hostlib::DatabaseSession& database, StoreStrategy& strategy, RetryPermit& permit) {
            attempt = Attempt{};
            hostlib::TWriteTransaction transaction(database);
            results.assign(group.size(), StoreResult{});
            const std::vector<std::size_t> going = strategy.Decide(requests, results);
            if (mode == GroupMode::Together && strategy.StoresTogether()) {
                try {
                    strategy.StoreTogether(requests, going, results);
                } catch (...) {
                    failed_alone();
                    attempt.result = Attempt::Result::TogetherFailed;
                    return;
                }
            } else {
                for (const std::size_t i : going) {
                    try {
                        results[i] = strategy.Store(*requests[i]);
                    } catch (...) {
                        attempt.failure = failed_alone();
                        attempt.result = Attempt::Result::OneFailed;
                        attempt.failed_index = i;
                        return;
                    }
                }
            }
            // A connection lost during COMMIT may have committed: that group is never sent again.
            permit.Withdraw();
            transaction.Commit();
        });
    } catch (...) {
        attempt.result = Attempt::Result::AllFailed;
        attempt.failure = AsDatabaseError(std::current_exception());
    }
    return attempt;
}

void StoreWriter::Complete(Pending& pending, std::exception_ptr failure) { pending.completion(StoreOutcome{failure}); }

void StoreWriter::CountRefusal(const StoreRequest& request, std::exception_ptr refusal) {
    try {
        std::rethrow_exception(refusal);
    } catch (const EStoreRefused& e) {
        {
            std::lock_guard lock(mutex_);
            ++(e.Reason() == vor17000::kChangedMeanwhile ? statistics_.refused_changed : statistics_.refused_invoices);
        }
        LogEvent("gravação recusada (" + e.Reason() + "): " + TableOf(request.target).name + " " + request.code);
    } catch (...) {
    }
}

namespace {

// Once per failed attempt, however many stores it answers.
void LogFailedStores(std::size_t count, std::exception_ptr failure) {
    std::string cause;
    ToRpcError(failure, cause);
    if (cause.empty()) return;
    LogEvent(count == 1 ? "gravação não feita: " + cause : std::to_string(count) + " gravações não feitas: " + cause);
}

}  // namespace

void StoreWriter::Commit(std::vector<Pending>& group) {
    std::vector<Pending*> left;
    left.reserve(group.size());
    for (auto& pending : group) left.push_back(&pending);
    // Rows are locked in one order, whatever order the stores came in, so that two servers
    // writing the same rows wait for each other instead of deadlocking. Stores of one row
    // keep their order: the last to arrive is the one that stays.
    std::stable_sort(left.begin(), left.end(), [](const Pending* a, const Pending* b) {
        if (a->request.target != b->request.target) return a->request.target < b->request.target;
        return a->request.code < b->request.code;
    });
    std::vector<StoreResult> results;
    GroupMode mode = GroupMode::Together;
    while (!left.empty()) {
        if (file_.Gone()) {
            const auto gone = std::make_exception_ptr(EDatabaseFileGone("banco de dados: " + file_.Reason()));
            for (Pending* pending : left) Complete(*pending, gone);
            return;
        }
        const Attempt attempt = TryGroup(left, results, mode);
        if (attempt.result == Attempt::Result::TogetherFailed) {
            mode = GroupMode::OneByOne;
            continue;
        }
        if (attempt.result == Attempt::Result::AllFailed) {
            LogFailedStores(left.size(), attempt.failure);
            for (Pending* pending : left) Complete(*pending, attempt.failure);
            return;
        }
        if (attempt.result == Attempt::Result::OneFailed) {
            LogFailedStores(1, attempt.failure);
            Complete(*left[attempt.failed_index], attempt.failure);
            left.erase(left.begin() + static_cast<std::ptrdiff_t>(attempt.failed_index));
            continue;
        }
        // Committed. Before anyone hears so, the files it went to must still be the database's.
        const FileCheck check = file_.Check();
        if (check == FileCheck::LogRemoved) {
            // The log was deleted under the open descriptors: saved through them, this group
            // and the ones before it are in the database file, then nothing more is taken.
            if (!SaveLog()) continue;  // the loop above answers every store of the group
        } else if (check == FileCheck::Gone) {
            LogEvent("banco de dados: " + file_.Reason() + "; gravações recusadas até reiniciar o servidor");
            continue;
        }
        {
            std::lock_guard lock(mutex_);
            ++statistics_.commits;
            for (const StoreResult& result : results) {
                if (result.result == Result::Stored) ++statistics_.stores;
            }
            statistics_.largest_group = std::max<std::uint64_t>(statistics_.largest_group, left.size());
            statistics_.group_size_sum += left.size();
            std::size_t bucket = 0;
            while (bucket < kGroupBuckets.size() && left.size() > kGroupBuckets[bucket]) ++bucket;
            ++statistics_.group_sizes[bucket];
        }
        for (std::size_t i = 0; i < left.size(); ++i) {
            switch (results[i].result) {
                case Result::Stored:
                    Complete(*left[i], nullptr);
                    break;
                case Result::UnknownCode:
                    Complete(*left[i], std::make_exception_ptr(EApplicationError(UnknownCodeText(left[i]->request))));
                    break;
                case Result::Refused:
                    CountRefusal(left[i]->request, results[i].refusal);
                    Complete(*left[i], results[i].refusal);
                    break;
            }
        }
        return;
    }
}

}  // namespace appserver
