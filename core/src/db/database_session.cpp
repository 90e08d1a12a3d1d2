#include "core/db/database_session.h"

#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>
#include <soci/sqlite3/soci-sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "core/db/database_error.h"
#include "core/db/sql_value.h"
#include "core/db/write_transaction.h"

namespace hostlib {

namespace {

std::string QuotedSqlitePath(const std::string& path) {
    std::string quoted = "\"";
    for (char c : path) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

// The file as an SQLite URI that opens it only if it exists ("mode=rw" never creates).
std::string ExistingSqliteUri(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            uri += '%';
            uri += kHex[static_cast<unsigned char>(c) >> 4];
            uri += kHex[static_cast<unsigned char>(c) & 0xF];
        } else {
            uri += c;
        }
    }
    return uri + "?mode=rw";
}

// SQLite makes its log and shared-memory files with the modes of the database file. Made
// while the database was read-only they stay read-only after the database is writable again,
// and keep every later session read-only: a process that owns them gives them the database's
// modes back before it opens it.
void AlignSidecarModes(const std::string& path) {
    struct stat database {};
    if (::stat(path.c_str(), &database) != 0 || ::access(path.c_str(), W_OK) != 0) return;
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string file = path + suffix;
        struct stat sidecar {};
        if (::stat(file.c_str(), &sidecar) != 0 || sidecar.st_uid != ::geteuid()) continue;
        if (::access(file.c_str(), W_OK) != 0) ::chmod(file.c_str(), database.st_mode & 0666);
    }
}

// libpq settings that keep a lost or frozen server from holding a session for ever: a
// connect timeout, and keepalives that notice a peer gone silent. The URL's own win.
std::string WithNetworkTimeouts(std::string keywords, const SessionOptions& options) {
    const auto has = [&](const char* key) { return keywords.find(std::string(key) + "=") != std::string::npos; };
    if (!has("connect_timeout")) keywords += " connect_timeout=" + std::to_string(options.connect_timeout.count());
    if (!has("keepalives")) keywords += " keepalives=1 keepalives_idle=30 keepalives_interval=10 keepalives_count=3";
    if (!has("tcp_user_timeout")) keywords += " tcp_user_timeout=30000";
    return keywords;
}

// The IANA name of this machine's time zone ("America/Sao_Paulo"), empty when unknown.
std::string LocalTimeZoneName() {
    std::string name;
    if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
        name = tz[0] == ':' ? tz + 1 : tz;
    } else {
        std::error_code ec;
        name = std::filesystem::read_symlink("/etc/localtime", ec).string();
    }
    if (const auto at = name.find("zoneinfo/"); at != std::string::npos) name = name.substr(at + 9);
    if (name.empty() || name.front() == '/') return {};
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '/' && c != '_' && c != '-' && c != '+') return {};
    }
    return name;
}

// What the user reads when a database does not open; the driver's words go to the details.
std::string OpenFailureSentence(const DatabaseUrl& url, DatabaseErrorCategory category, MissingDatabase missing) {
    const std::string where = "'" + url.Redacted() + "'";
    if (url.kind == DatabaseKind::SQLite && missing == MissingDatabase::Refuse &&
        !std::filesystem::exists(std::filesystem::path(url.path))) {
        return "O banco de dados " + where + " não existe. Confira o caminho do arquivo.";
    }
    if (category == DatabaseErrorCategory::ReadOnly) {
        return "Não foi possível abrir o banco de dados " + where + ": não há permissão para gravar nele.";
    }
    return "Não foi possível abrir o banco de dados " + where + ". Verifique se ele está no ar e tente de novo.";
}

}  // namespace

DatabaseSession::DatabaseSession() = default;

DatabaseSession::~DatabaseSession() = default;

void DatabaseSession::Open(const std::string& url_text, const SessionOptions& options) {
    Close();
    const auto url = ParseDatabaseUrl(url_text);
    if (!url) {
        throw EDatabaseError(DatabaseErrorCategory::ConnectionFailed,
                             "Não foi possível abrir o banco de dados '" + RedactedUrlText(url_text) +
                                 "': a URL é inválida (use sqlite:ARQUIVO ou postgresql://usuario@host:porta/banco; "
                                 "cada '%' da URL vem seguido de dois dígitos hexadecimais).");
    }
    auto session = std::make_unique<soci::session>();
    bool legacy_text = true;
    try {
        if (url->kind == DatabaseKind::SQLite) {
            // Without a busy timeout a second writer fails at once instead of waiting.
            const auto wait = std::to_string(options.lock_timeout.count());
            AlignSidecarModes(url->path);
            const std::string file =
                options.missing == MissingDatabase::Create ? url->path : ExistingSqliteUri(url->path);
            session->open(soci::sqlite3, "db=" + QuotedSqlitePath(file) +
                                             " timeout=" + std::to_string((options.lock_timeout.count() + 999) / 1000));
            *session << "PRAGMA busy_timeout = " + wait;
            // Asked only when not so already: a database the process may only read is still
            // opened (and says so when written to).
            std::string journal;
            *session << "PRAGMA journal_mode", soci::into(journal);
            if (journal != "wal") *session << "PRAGMA journal_mode = WAL";
            *session << "PRAGMA synchronous = FULL";
            *session << "PRAGMA foreign_keys = ON";
        } else {
            session->open(soci::postgresql, WithNetworkTimeouts(url->PostgresKeywords(), options));
            *session << "SET lock_timeout = " + std::to_string(options.lock_timeout.count());
            *session << "SET statement_timeout = " + std::to_string(options.statement_timeout.count());
            std::string encoding;
            *session << "SHOW client_encoding", soci::into(encoding);
            legacy_text = encoding != "UTF8";
            // Dates are local date-times: a `timestamptz` another program wrote is shown
            // in this machine's zone, not the database server's.
            if (const std::string zone = LocalTimeZoneName(); !zone.empty()) {
                try {
                    *session << "SET TIME ZONE '" + zone + "'";
                } catch (const soci::soci_error&) {
                    // A zone the server does not know leaves its own in place.
                }
            }
        }
    } catch (...) {
        try {
            RethrowAsDatabaseError(std::current_exception());
        } catch (const EDatabaseError& e) {
            throw EDatabaseError(DatabaseErrorCategory::ConnectionFailed,
                                 OpenFailureSentence(*url, e.Category(), options.missing), e.Details());
        }
    }
    url_ = *url;
    legacy_text_ = legacy_text;
    session_ = std::move(session);
    ++session_number_;
    EnsureSchema();
}

void DatabaseSession::Close() { session_.reset(); }

soci::session& DatabaseSession::Session() {
    if (!session_) throw EDatabaseError(DatabaseErrorCategory::ConnectionFailed, "Banco de dados não conectado.");
    return *session_;
}

void DatabaseSession::ExecuteScript(std::string_view script) {
    soci::session& session = Session();
    std::string statement;
    // A comment "-- sqlite: ..." or "-- postgresql: ..." before a statement keeps it to that
    // database: what the two say differently is written twice, once for each.
    enum class Only { Both, SQLite, PostgreSQL } only = Only::Both;
    const Only here = url_.kind == DatabaseKind::SQLite ? Only::SQLite : Only::PostgreSQL;
    std::size_t start = 0;
    try {
        while (start < script.size()) {
            auto end = script.find('\n', start);
            if (end == std::string_view::npos) end = script.size();
            std::string_view line = script.substr(start, end - start);
            start = end + 1;
            const auto first = line.find_first_not_of(" \t\r");
            if (first == std::string_view::npos) continue;
            if (line.substr(first, 2) == "--") {
                const auto comment = line.substr(first);
                if (comment.rfind("-- sqlite:", 0) == 0) only = Only::SQLite;
                if (comment.rfind("-- postgresql:", 0) == 0) only = Only::PostgreSQL;
                continue;
            }
            statement.append(line).append("\n");
            const auto last = line.find_last_not_of(" \t\r");
            if (line[last] == ';') {
                if (only == Only::Both || only == here) session << statement;
                statement.clear();
                only = Only::Both;
            }
        }
        if (statement.find_first_not_of(" \t\r\n") != std::string::npos && (only == Only::Both || only == here)) {
            session << statement;
        }
    } catch (...) {
        RethrowAsDatabaseError(std::current_exception());
    }
}

void DatabaseSession::LoadDemoData() {
    soci::session& session = Session();
    try {
        TWriteTransaction transaction(*this);
        // Two programs loading the demo into one new PostgreSQL database would both find it
        // empty: the second waits for the first, then finds its companies.
        if (url_.kind == DatabaseKind::PostgreSQL) session << "SELECT pg_advisory_xact_lock(17001)";
        int companies = 0;
        session << "SELECT COUNT(*) FROM EMPRESA", soci::into(companies);
        if (companies == 0) ExecuteScript(DemoDataScript());
        transaction.Commit();
    } catch (...) {
        RethrowAsDatabaseError(std::current_exception());
    }
}

bool DatabaseSession::CheckpointLog() {
    if (url_.kind != DatabaseKind::SQLite) return true;
    int busy = 1;
    int frames = -1;
    int copied = -2;
    try {
        Session() << "PRAGMA wal_checkpoint(FULL)", soci::into(busy), soci::into(frames), soci::into(copied);
    } catch (...) {
        RethrowAsDatabaseError(std::current_exception());
    }
    return busy == 0 && frames == copied;
}

namespace {

// The part of the schema script from the comment line `marker` to the comment line `next`, or
// to its end.
std::string_view SchemaPart(std::string_view marker, std::string_view next = {}) {
    const std::string_view schema = SchemaScript();
    const auto part = schema.find(marker);
    if (part == std::string_view::npos) throw std::logic_error("schema script without its part " + std::string(marker));
    const auto end = next.empty() ? std::string_view::npos : schema.find(next, part);
    return schema.substr(part, end == std::string_view::npos ? std::string_view::npos : end - part);
}

constexpr std::string_view kHistoryPart = "-- History of the stored dates";
constexpr std::string_view kUpgradesPart = "-- Upgrades of databases made by earlier versions";
constexpr std::string_view kOldDateTextPart = "-- The text of an old date no form reads";

std::string Lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool DatabaseSession::HasTable(const std::string& name) {
    if (url_.kind == DatabaseKind::SQLite) {
        return CountOf("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = :n", name) > 0;
    }
    return CountOf("SELECT COUNT(*) FROM information_schema.tables WHERE table_schema = current_schema() "
                   "AND table_name = :n",
                   Lower(name)) > 0;
}

int DatabaseSession::CountOf(const std::string& query, const std::string& first, const std::string& second) {
    int count = 0;
    try {
        if (second.empty()) {
            Session() << query, soci::use(first), soci::into(count);
        } else {
            Session() << query, soci::use(first), soci::use(second), soci::into(count);
        }
    } catch (...) {
        RethrowAsDatabaseError(std::current_exception());
    }
    return count;
}

bool DatabaseSession::HasIndex(const std::string& name) {
    if (url_.kind == DatabaseKind::SQLite) {
        return CountOf("SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND name = :n", name) > 0;
    }
    return CountOf("SELECT COUNT(*) FROM pg_indexes WHERE schemaname = current_schema() AND indexname = :n",
                   Lower(name)) > 0;
}

bool DatabaseSession::HasColumn(const std::string& table, const std::string& column) {
    if (url_.kind == DatabaseKind::SQLite) {
        return CountOf("SELECT COUNT(*) FROM pragma_table_info(:t) WHERE upper(name) = :c", table, column) > 0;
    }
    return CountOf("SELECT COUNT(*) FROM information_schema.columns "
                   "WHERE table_schema = current_schema() AND table_name = :t AND column_name = :c",
                   Lower(table), Lower(column)) > 0;
}

bool DatabaseSession::UpgradesAreThere() {
    if (!HasIndex("IX_HISTDTEMISSAO_TABELA")) return false;
    if (url_.kind == DatabaseKind::SQLite) return HasIndex("IX_NOTAFISCAL_VALOR");
    return CountOf("SELECT COUNT(*) FROM information_schema.columns WHERE table_schema = current_schema() "
                   "AND table_name = :t AND column_name = 'nrhistorico' AND data_type = 'bigint'",
                   "histdtemissao") > 0;
}

bool DatabaseSession::SchemaIsCurrent() {
    return HasTable("EMPRESA") && HasTable("HISTDTEMISSAO") && UpgradesAreThere() &&
           HasColumn("HISTDTEMISSAO", "DSDTANTERIOR");
}

void DatabaseSession::EnsureSchema() {
    // Looked at without a lock first: most opens find everything in place.
    if (SchemaIsCurrent()) return;
    // Several programs may start at once on a new database: one makes the tables while the
    // others wait for it, then find them made.
    soci::session& session = Session();
    try {
        TWriteTransaction transaction(*this);
        // PostgreSQL's write lock is taken row by row: the schema gets a lock of its own.
        if (url_.kind == DatabaseKind::PostgreSQL) session << "SELECT pg_advisory_xact_lock(17000)";
        if (!HasTable("EMPRESA")) {
            ExecuteScript(SchemaScript());
        } else if (!HasTable("HISTDTEMISSAO")) {
            // A database from before the history: that part and those after it, nothing else
            // touched.
            ExecuteScript(SchemaPart(kHistoryPart));
        } else {
            // A database of an earlier version: the upgrades, each doing nothing where done,
            // and the column that cannot be added twice where it is missing.
            ExecuteScript(SchemaPart(kUpgradesPart, kOldDateTextPart));
            if (!HasColumn("HISTDTEMISSAO", "DSDTANTERIOR")) ExecuteScript(SchemaPart(kOldDateTextPart));
        }
        transaction.Commit();
    } catch (...) {
        RethrowAsDatabaseError(std::current_exception());
    }
}

}  // namespace hostlib
