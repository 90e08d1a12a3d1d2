#pragma once
// A server's database session with the statements prepared on it, and the one policy for
// what goes wrong there: a failed run finalizes every statement (one that failed may have
// stopped among its rows, keeping a read transaction on an old snapshot); a lost session, or
// one the database opened read-only, is dropped and the next use opens a new one; a session
// lost while idle (the database restarted) is opened again and the work runs once more, as
// long as nothing of it may have reached the database.
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "core/db/database_error.h"
#include "core/db/database_session.h"
#include "database_file_guard.h"
#include "rpc_errors.h"
#include "session_keeper.h"

namespace appserver {

// A driver's failure as an EDatabaseError of its category; any other failure as it is.
std::exception_ptr AsDatabaseError(std::exception_ptr failure);
// The category of an EDatabaseError; none for any other failure.
std::optional<hostlib::DatabaseErrorCategory> CategoryOf(std::exception_ptr failure);
// A failure of the session or the transaction rather than of one request's values: it fails
// every store of a group.
bool FailsTheWholeTransaction(hostlib::DatabaseErrorCategory category);

// Whether a run that failed on a lost session may run again: the work withdraws it once
// something of it may have been committed (a connection lost during COMMIT).
class RetryPermit {
public:
    void Withdraw() { allowed_ = false; }
    bool Allowed() const { return allowed_; }

private:
    bool allowed_ = true;
};

template <class Statements>
class PreparedSession {
public:
    // `make` prepares the statements on a new session.
    using Factory = std::unique_ptr<Statements> (*)(hostlib::DatabaseSession&);
    PreparedSession(std::string database_url, hostlib::SessionOptions options, DatabaseFileGuard& file,
                    Factory make = [](hostlib::DatabaseSession& database) {
                        return std::make_unique<Statements>(database);
                    })
        : keeper_(std::move(database_url), options), file_(file), make_(make) {}
    ~PreparedSession() { statements_.reset(); }  // before the session they were prepared on
    PreparedSession(const PreparedSession&) = delete;
    PreparedSession& operator=(const PreparedSession&) = delete;

    SessionKeeper& Keeper() { return keeper_; }
    // Finalizes every statement; they are prepared again on their next use.
    void ResetStatements() { statements_.reset(); }
    // Lets go of the session when every session was asked to open again (a database that was
    // read-only), so that the next use sees permissions given back meanwhile.
    void ReopenIfAsked() {
        if (reopen_round_ == file_.ReopenRound()) return;
        reopen_round_ = file_.ReopenRound();
        Drop();
    }
    void Drop() noexcept {
        statements_.reset();
        keeper_.Drop();
    }

    // Runs `work(database, statements, permit)` under the policy above; what it raises at
    // last goes to the caller as a database error of its category (or as it was).
    template <class Work>
    decltype(auto) Run(Work&& work) {
        if (file_.Gone()) throw EDatabaseFileGone("banco de dados: " + file_.Reason());
        for (int round = 0;; ++round) {
            ReopenIfAsked();
            const bool had_session = keeper_.IsOpen();
            RetryPermit permit;
            try {
                SessionKeeper::Call call(keeper_);
                hostlib::DatabaseSession& database = keeper_.Database();
                return work(database, Prepared(database), permit);
            } catch (...) {
                const std::exception_ptr failure = AsDatabaseError(std::current_exception());
                statements_.reset();
                const auto category = CategoryOf(failure);
                if (category == hostlib::DatabaseErrorCategory::ReadOnly) {
                    file_.AskEverySessionToReopen();
                    reopen_round_ = file_.ReopenRound();
                }
                if (category == hostlib::DatabaseErrorCategory::ConnectionFailed ||
                    category == hostlib::DatabaseErrorCategory::ReadOnly) {
                    keeper_.Drop();
                    if (category == hostlib::DatabaseErrorCategory::ConnectionFailed && had_session &&
                        round == 0 && permit.Allowed()) {
                        continue;
                    }
                }
                std::rethrow_exception(failure);
            }
        }
    }

private:
    Statements& Prepared(hostlib::DatabaseSession& database) {
        if (statements_generation_ != keeper_.Generation()) statements_.reset();
        if (!statements_) {
            statements_ = make_(database);
            statements_generation_ = keeper_.Generation();
        }
        return *statements_;
    }

    SessionKeeper keeper_;
    DatabaseFileGuard& file_;
    Factory make_;
    std::unique_ptr<Statements> statements_;
    std::uint64_t statements_generation_ = 0;
    std::uint64_t reopen_round_ = 0;
};

}  // namespace appserver
