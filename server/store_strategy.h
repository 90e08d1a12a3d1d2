#pragma once
// How a database stores dates and their history rows. SQLite holds the write lock for the
// whole transaction, so a store reads, checks and writes one statement at a time; PostgreSQL
// locks rows one by one, so a group's checks run first against its rows locked in one order,
// and a group goes in one statement per table. The writer's grouping, retries and answers are
// the same for both (store_writer.h).
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/db/database_session.h"
#include "latest_invoice.h"
#include "store_request.h"

namespace soci {
class session;
class statement;
}  // namespace soci

namespace appserver {

// What a store writes into, table by table: the table and its key and date columns.
struct StoreTable {
    const char* name;
    const char* key;
    const char* date;
};
const StoreTable& TableOf(StoreTarget target);

using StoreGroup = std::vector<const StoreRequest*>;

class StoreStrategy {
public:
    // The strategy of the session's database, its statements prepared on the session.
    static std::unique_ptr<StoreStrategy> For(hostlib::DatabaseSession& database);
    virtual ~StoreStrategy();
    StoreStrategy(const StoreStrategy&) = delete;
    StoreStrategy& operator=(const StoreStrategy&) = delete;

    // The stores of `group` that go ahead, in order, after their checks; the others' results
    // say why not. Runs inside the group's transaction.
    virtual std::vector<std::size_t> Decide(const StoreGroup& group, std::vector<StoreResult>& results);
    // Whether StoreTogether stores a group in one statement per table.
    virtual bool StoresTogether() const { return false; }
    // The stores `members` of a group at once; each gets Stored, or UnknownCode when its code
    // is not there under its own text or its Windows-1252 form.
    virtual void StoreTogether(const StoreGroup& group, const std::vector<std::size_t>& members,
                               std::vector<StoreResult>& results);
    // Stores the date and its history row. A code beyond ASCII that is not there is looked for
    // again in Windows-1252, as an older system may have written it; the history then keeps
    // the code as the table does.
    StoreResult Store(const StoreRequest& request);

protected:
    StoreStrategy(hostlib::DatabaseSession& database);
    // The store under `key`, the code as the table may hold it.
    virtual StoreResult StoreUnder(const StoreRequest& request, const std::string& key) = 0;

    std::optional<std::string> LegacyCode(const std::string& text) const;
    // The store's checks against the row's date `current` and the latest invoice of the
    // control it names; an invoice date no form reads refuses the check, naming it.
    std::exception_ptr Check(const StoreRequest& request, const std::string& key,
                             const std::optional<hostlib::TDateTime>& current, const LatestInvoice& latest,
                             const std::function<std::optional<std::string>()>& user_of_current);
    // The latest invoice of a control, as GetMaxData finds it.
    LatestInvoice LatestInvoiceOf(const std::string& control);
    // Who stored the date a row holds now: the user of its newest history row, when that
    // row's new date is the one held.
    std::optional<std::string> UserOf(StoreTarget target, const std::string& key,
                                      const std::optional<hostlib::TDateTime>& current);
    // The values of the store at hand, bound to the statements.
    void Bind(const StoreRequest& request, const std::string& key);
    void BindWho(soci::statement& statement);
    static void Prepare(soci::statement& statement, const std::string& sql);

    soci::session& session_;
    std::string date, code, client, user, origin, registered, table_name;

private:
    bool legacy_text_;
    LatestInvoiceQuery latest_invoice_;
};

// The beginning of the history row both databases write.
extern const char* const kHistoryColumns;
// The longest text of an old date no form reads that the history keeps.
constexpr std::size_t kLongestOldDateText = 64;
// Now in UTC, as "YYYY-MM-DD HH:MM:SS".
std::string UtcNow();

std::unique_ptr<StoreStrategy> MakeSqliteStore(hostlib::DatabaseSession& database);
std::unique_ptr<StoreStrategy> MakePostgresStore(hostlib::DatabaseSession& database);

}  // namespace appserver
