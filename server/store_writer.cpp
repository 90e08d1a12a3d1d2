#include "store_writer.h"

#include <soci/soci.h>

#include <algorithm>
#include <optional>

#include "hostlib/db/database_error.h"
#include "hostlib/db/database_url.h"
#include "hostlib/db/sql_value.h"
#include "rpc_errors.h"

namespace appserver {

using hostlib::DatabaseErrorCategory;
using hostlib::EDatabaseError;

namespace {

const char* const kUpdateControlSql = "UPDATE CTRLNUMENF SET DTEMISCTNUNF = :P_DATA WHERE CDCTRLNUMENF = :P_CODIGO";
const char* const kUpdateLocationSql = "UPDATE LOCALEMISSAO SET DTULTEMISLCE = :P_DATA WHERE CDLOCALEMIS = :P_CODIGO";

// A transaction that rolls back unless committed, and never raises from its destructor.
class WriteTransaction {
public:
    WriteTransaction(soci::session& session, hostlib::DatabaseKind kind) : session_(session) {
        // SQLite takes the write lock at once, so that the wait for it is the busy timeout's.
        session_ << (kind == hostlib::DatabaseKind::SQLite ? "BEGIN IMMEDIATE" : "BEGIN");
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    ~WriteTransaction() {
        if (open_) {
            try {
                session_ << "ROLLBACK";
            } catch (...) {
                // The session is dropped by whoever saw the failure; nothing else to undo.
            }
        }
    }
    void Commit() {
        open_ = false;
        session_ << "COMMIT";
    }

private:
    soci::session& session_;
    bool open_ = true;
};

// A failure that belongs to the whole transaction rather than to one store's values.
bool FailsEveryStore(DatabaseErrorCategory category) {
    return category == DatabaseErrorCategory::ConnectionFailed || category == DatabaseErrorCategory::Busy ||
           category == DatabaseErrorCategory::ReadOnly || category == DatabaseErrorCategory::StorageFull;
}

std::exception_ptr AsDatabaseError(std::exception_ptr failure) {
    try {
        hostlib::RethrowAsDatabaseError(failure);
    } catch (...) {
        return std::current_exception();
    }
}

std::optional<DatabaseErrorCategory> CategoryOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EDatabaseError& e) {
        return e.Category();
    } catch (...) {
        return std::nullopt;
    }
}

std::string UnknownCodeText(const StoreRequest& request) {
    return request.target == StoreTarget::NumberingControl
               ? "Controle de numeração de NF '" + request.code + "' não cadastrado."
               : "Local de emissão '" + request.code + "' não cadastrado.";
}

}  // namespace

struct StoreWriter::Statements {
    explicit Statements(soci::session& session) : update_control(session), update_location(session) {
        Prepare(update_control, kUpdateControlSql);
        Prepare(update_location, kUpdateLocationSql);
    }
    void Prepare(soci::statement& statement, const char* sql) {
        statement.exchange(soci::use(date, "P_DATA"));
        statement.exchange(soci::use(code, "P_CODIGO"));
        statement.alloc();
        statement.prepare(sql);
        statement.define_and_bind();
    }
    // Whether the code was there to store on.
    bool Store(const StoreRequest& request) {
        date = hostlib::ToSqlDateTime(request.date);
        code = request.code;
        soci::statement& update =
            request.target == StoreTarget::NumberingControl ? update_control : update_location;
        update.execute(true);
        return update.get_affected_rows() > 0;
    }

    std::string date;
    std::string code;
    soci::statement update_control;
    soci::statement update_location;
};

StoreWriter::StoreWriter(std::string database_url, hostlib::SessionOptions session_options,
                         DatabaseFileGuard& file, std::size_t largest_group)
    : session_(database_url, session_options, "dtmGravacao"),
      kind_(hostlib::ParseDatabaseUrl(database_url).value_or(hostlib::DatabaseUrl{}).kind),
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
    statements_.reset();
}

void StoreWriter::Submit(StoreRequest request, StoreCompletion completion) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(request), std::move(completion)});
    }
    wake_.notify_one();
}

StoreWriterStatistics StoreWriter::Statistics() const {
    std::lock_guard lock(mutex_);
    return statistics_;
}

void StoreWriter::Run() {
    std::vector<Pending> group;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
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

StoreWriter::Statements& StoreWriter::Prepared(hostlib::TdtmDBGeral& database) {
    if (statements_generation_ != session_.Generation()) statements_.reset();
    if (!statements_) {
        statements_ = std::make_unique<Statements>(database.Session());
        statements_generation_ = session_.Generation();
    }
    return *statements_;
}

StoreWriter::Attempt StoreWriter::TryGroup(std::vector<Pending*>& group, std::vector<bool>& found) {
    Attempt attempt;
    // A session lost while idle (the database restarted) is opened again once: nothing of
    // this group has reached the database yet.
    for (int round = 0;; ++round) {
        const bool had_session = session_.IsOpen();
        try {
            SessionKeeper::Call call(session_);
            hostlib::TdtmDBGeral& database = session_.Database();
            Statements& statements = Prepared(database);
            WriteTransaction transaction(database.Session(), kind_);
            found.assign(group.size(), false);
            for (std::size_t i = 0; i < group.size(); ++i) {
                try {
                    found[i] = statements.Store(group[i]->request);
                } catch (...) {
                    const auto failure = AsDatabaseError(std::current_exception());
                    const auto category = CategoryOf(failure);
                    if (category && FailsEveryStore(*category)) throw;
                    attempt.result = Attempt::Result::OneFailed;
                    attempt.failed_index = i;
                    attempt.failure = failure;
                    statements_.reset();  // prepared afresh, whatever state the failure left
                    return attempt;       // rolled back; the others go again without it
                }
            }
            transaction.Commit();
            return attempt;
        } catch (...) {
            const auto failure = AsDatabaseError(std::current_exception());
            const auto category = CategoryOf(failure);
            statements_.reset();
            if (category == DatabaseErrorCategory::ConnectionFailed || category == DatabaseErrorCategory::ReadOnly) {
                // Dropped: a new session also sees permissions given back meanwhile.
                session_.Drop();
                if (had_session && round == 0 && category == DatabaseErrorCategory::ConnectionFailed) continue;
            }
            attempt.result = Attempt::Result::AllFailed;
            attempt.failure = failure;
            return attempt;
        }
    }
}

void StoreWriter::Complete(Pending& pending, std::exception_ptr failure) {
    if (failure) {
        std::string cause;
        ToRpcError(failure, cause);
        if (!cause.empty()) LogEvent("gravação não feita: " + cause);
    }
    pending.completion(StoreOutcome{failure});
}

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
    std::vector<bool> found;
    while (!left.empty()) {
        if (file_.Gone()) {
            const auto gone = std::make_exception_ptr(EDatabaseFileGone("banco de dados: " + file_.Reason()));
            for (Pending* pending : left) Complete(*pending, gone);
            return;
        }
        const Attempt attempt = TryGroup(left, found);
        if (attempt.result == Attempt::Result::AllFailed) {
            for (Pending* pending : left) Complete(*pending, attempt.failure);
            return;
        }
        if (attempt.result == Attempt::Result::OneFailed) {
            Complete(*left[attempt.failed_index], attempt.failure);
            left.erase(left.begin() + static_cast<std::ptrdiff_t>(attempt.failed_index));
            continue;
        }
        // Committed. Before anyone hears so, the file it went to must still be the database's.
        if (!file_.Verify()) {
            LogEvent("banco de dados: " + file_.Reason() + "; gravações recusadas até reiniciar o servidor");
            continue;  // the loop above answers every store of the group
        }
        {
            std::lock_guard lock(mutex_);
            ++statistics_.commits;
            statistics_.stores += left.size();
            statistics_.largest_group = std::max<std::uint64_t>(statistics_.largest_group, left.size());
        }
        for (std::size_t i = 0; i < left.size(); ++i) {
            Complete(*left[i], found[i] ? nullptr
                                        : std::make_exception_ptr(EApplicationError(UnknownCodeText(left[i]->request))));
        }
        return;
    }
}

}  // namespace appserver
