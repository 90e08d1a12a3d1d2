#pragma once
// One database session, opened from a database URL, with the schema it needs.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/db/database_url.h"

namespace soci {
class session;
}

namespace hostlib {

// Whether opening an SQLite file that is not there makes a new, empty database.
enum class MissingDatabase { Create, Refuse };

// How a session opens, and how long it waits, at most, on what it does not control.
struct SessionOptions {
    // A row or table another session holds locked (SQLite's busy timeout, PostgreSQL's
    // lock_timeout); past it the statement fails as Busy.
    std::chrono::milliseconds lock_timeout{10000};
    // PostgreSQL: a statement running longer is cancelled by the server (Busy).
    std::chrono::milliseconds statement_timeout{30000};
    // PostgreSQL: giving up on a server that does not answer the connection; a URL's own
    // connect_timeout wins.
    std::chrono::seconds connect_timeout{5};
    MissingDatabase missing = MissingDatabase::Create;
};

class DatabaseSession {
public:
    DatabaseSession();
    virtual ~DatabaseSession();
    DatabaseSession(const DatabaseSession&) = delete;
    DatabaseSession& operator=(const DatabaseSession&) = delete;

    // Opens the database; an empty one gets the schema. A database that cannot be opened
    // raises EDatabaseError (ConnectionFailed) naming the URL without its password.
    void Open(const std::string& url, const SessionOptions& options = {});
    void Close();
    bool Connected() const { return session_ != nullptr; }
    const DatabaseUrl& Url() const { return url_; }
    DatabaseKind Kind() const { return url_.kind; }
    // Whether the database may hold text in an older code page, which a key shown decoded
    // must then be looked up in again: SQLite keeps any bytes, and so does PostgreSQL when the
    // session's client encoding is not UTF-8 (a SQL_ASCII database); one that speaks UTF-8
    // refuses such bytes and holds none.
    bool KeepsLegacyText() const { return legacy_text_; }

    // The open session; raises when closed.
    soci::session& Session();
    // Changes with every Open, so that what was prepared on an old session is known stale.
    std::uint64_t SessionNumber() const { return session_number_; }
    // Runs statements separated by ";" at line ends (schema and data scripts); a statement
    // after a comment "-- sqlite:" or "-- postgresql:" runs on that database only.
    void ExecuteScript(std::string_view script);
    // Creates the tables when they are missing, and brings a database of an earlier version up
    // to date (new indexes, wider columns, new columns).
    void EnsureSchema();
    // Whether the tables and every upgrade are there.
    bool SchemaIsCurrent();
    // A database without any company gets the demo data, all or nothing.
    void LoadDemoData();
    bool HasTable(const std::string& name);
    // SQLite: copies everything the write-ahead log holds into the database file (and makes it
    // durable); false when some of it could not be (a reader in the way past the busy timeout).
    // PostgreSQL keeps no such log of its own to save: true.
    bool CheckpointLog();

private:
    // The COUNT(*) of `query` with one or two texts bound.
    int CountOf(const std::string& query, const std::string& first, const std::string& second = {});
    bool HasIndex(const std::string& name);
    bool HasColumn(const std::string& table, const std::string& column);
    // The idempotent upgrades of the schema script: indexes, and 64-bit history numbers.
    bool UpgradesAreThere();

    DatabaseUrl url_;
    std::unique_ptr<soci::session> session_;
    std::uint64_t session_number_ = 0;
    bool legacy_text_ = true;
};

// The schema and the demo data, built into the core.
std::string_view SchemaScript();
std::string_view DemoDataScript();

}  // namespace hostlib
