#include "store_writer.h"

#include <soci/soci.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "core/db/database_error.h"
#include "core/db/database_url.h"
#include "core/db/sql_value.h"
#include "core/db/write_transaction.h"
#include "data_emissao_contract.h"
#include "core/utf8.h"
#include "latest_invoice.h"
#include "json_text.h"
#include "rpc_errors.h"

namespace appserver {

using hostlib::DatabaseErrorCategory;
using hostlib::EDatabaseError;

namespace {

// What a store writes into, table by table: the table and its key and date columns.
struct StoreTable {
    const char* name;
    const char* key;
    const char* date;
};
constexpr StoreTable kControls{"CTRLNUMENF", "CDCTRLNUMENF", "DTEMISCTNUNF"};
constexpr StoreTable kLocations{"LOCALEMISSAO", "CDLOCALEMIS", "DTULTEMISLCE"};

const StoreTable& TableOf(StoreTarget target) {
    return target == StoreTarget::NumberingControl ? kControls : kLocations;
}

const char* const kHistoryColumns =
    "INSERT INTO HISTDTEMISSAO (NMTABELA, CDCHAVE, DTANTERIOR, DSDTANTERIOR, DTNOVA, NMCLIENTE, NMUSUARIO, DSORIGEM, "
    "DTREGISTRO) ";

// The history's old date is the date as the server reads it. PostgreSQL's typed columns hold
// values no form reads too (infinity, years past 9999 or before Christ): those are recorded as
// none, with their text beside.
std::string PostgresReadable(const std::string& date) {
    return "(isfinite(" + date + ") AND " + date + " >= '0001-01-01' AND " + date + " < '10000-01-01')";
}
std::string PostgresOldDate(const std::string& date) {
    return "CASE WHEN " + PostgresReadable(date) + " THEN " + date + " END";
}
std::string PostgresOldDateText(const std::string& date) {
    return "CASE WHEN NOT " + PostgresReadable(date) + " THEN CAST(" + date + " AS VARCHAR(64)) END";
}

constexpr std::size_t kLongestOldDateText = 64;

// SQLite, which holds the write lock for the whole transaction: the old date, the update, and
// the history row, one statement each.
std::string SqliteOldDateSql(const StoreTable& t) {
    return std::string("SELECT ") + t.date + " FROM " + t.name + " WHERE " + t.key + " = :P_CODIGO";
}
std::string SqliteUpdateSql(const StoreTable& t) {
    return std::string("UPDATE ") + t.name + " SET " + t.date + " = :P_DATA WHERE " + t.key + " = :P_CODIGO";
}
std::string SqliteHistorySql() {
    return std::string(kHistoryColumns) +
           "VALUES (:P_TABELA, :P_CODIGO, :P_ANTERIOR, :P_TEXTO_ANTERIOR, :P_DATA, :P_CLIENTE, :P_USUARIO, :P_ORIGEM, "
           ":P_REGISTRO)";
}

// PostgreSQL: one statement, one round trip. The subquery locks the row and reads its old
// date before the update changes it; a code not there writes nothing at all.
std::string PostgresStoreSql(const StoreTable& t) {
    return std::string("WITH ALTERADO AS (UPDATE ") + t.name + " AS NOVO SET " + t.date +
           " = CAST(:P_DATA1 AS TIMESTAMP) FROM (SELECT " + t.key + " AS K, " + t.date + " AS D FROM " + t.name +
           " WHERE " + t.key + " = :P_CODIGO1 FOR UPDATE) AS ANTERIOR WHERE NOVO." + t.key +
           " = ANTERIOR.K RETURNING ANTERIOR.K, ANTERIOR.D) " + kHistoryColumns + "SELECT '" + t.name +
           "', ALTERADO.K, " + PostgresOldDate("ALTERADO.D") + ", " + PostgresOldDateText("ALTERADO.D") +
           ", CAST(:P_DATA2 AS TIMESTAMP), CAST(:P_CLIENTE AS VARCHAR(64)), "
           "CAST(:P_USUARIO AS VARCHAR(64)), CAST(:P_ORIGEM AS VARCHAR(64)), CAST(:P_REGISTRO AS TIMESTAMP) "
           "FROM ALTERADO";
}

// PostgreSQL, all the stores of a group on one table in one round trip: they come as a JSON
// array in their order, the rows are locked in code order and take the last date stored to
// them, and each store gets its history row, chained to the store of its code before it. The
// answer lists the positions of the stores whose code was there.
std::string PostgresGroupSql(const StoreTable& t) {
    return std::string(
               "WITH ENTRADA AS (SELECT E.N, E.V->>'k' AS K, CAST(E.V->>'d' AS TIMESTAMP) AS D, "
               "CAST(E.V->>'c' AS VARCHAR(64)) AS C, CAST(E.V->>'u' AS VARCHAR(64)) AS U, "
               "CAST(E.V->>'o' AS VARCHAR(64)) AS O "
               "FROM json_array_elements(CAST(:P_LOTE AS JSON)) WITH ORDINALITY AS E(V, N)), "
               "ULTIMA AS (SELECT DISTINCT ON (K) K, D FROM ENTRADA ORDER BY K, N DESC), "
               "ALTERADO AS (UPDATE ") +
           t.name + " AS NOVO SET " + t.date + " = ULTIMA.D FROM (SELECT " + t.key + " AS K, " + t.date +
           " AS D FROM " + t.name + " WHERE " + t.key + " IN (SELECT K FROM ENTRADA) ORDER BY " + t.key +
           " FOR UPDATE) AS ANTERIOR JOIN ULTIMA ON ULTIMA.K = ANTERIOR.K WHERE NOVO." + t.key +
           " = ANTERIOR.K RETURNING ANTERIOR.K, ANTERIOR.D), "
           "GRAVADO AS (" +
           kHistoryColumns + "SELECT '" + t.name + "', E.K, CASE WHEN LAG(E.N) OVER W IS NULL THEN " +
           PostgresOldDate("A.D") + " ELSE LAG(E.D) OVER W END, CASE WHEN LAG(E.N) OVER W IS NULL THEN " +
           PostgresOldDateText("A.D") +
           " END, E.D, E.C, E.U, E.O, "
           "CAST(:P_REGISTRO AS TIMESTAMP) FROM ENTRADA AS E JOIN ALTERADO AS A ON A.K = E.K "
           "WINDOW W AS (PARTITION BY E.K ORDER BY E.N) ORDER BY E.N) "
           "SELECT COALESCE(string_agg(CAST(E.N AS TEXT), ','), '') FROM ENTRADA AS E JOIN ALTERADO AS A ON A.K = E.K";
}

// `head` then `value` as a JSON string.
void AppendField(std::string& out, std::string_view head, std::string_view value) {
    out += head;
    AppendJsonString(out, value);
}

// Now in UTC, as "YYYY-MM-DD HH:MM:SS".
std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[24];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

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
    Statements(soci::session& session, hostlib::DatabaseKind kind, bool legacy_text)
        : session_(session), kind_(kind), legacy_text_(legacy_text), latest_invoice_(session, kind) {
        for (const StoreTarget target : {StoreTarget::NumberingControl, StoreTarget::IssueLocation}) {
            Targeted& statements = For(target);
            const StoreTable& table = TableOf(target);
            if (kind == hostlib::DatabaseKind::SQLite) {
                statements.old_date.emplace(session);
                statements.old_date->exchange(soci::into(old_date, old_date_null));
                statements.old_date->exchange(soci::use(code, "P_CODIGO"));
                Prepare(*statements.old_date, SqliteOldDateSql(table));
                statements.update.emplace(session);
                statements.update->exchange(soci::use(date, "P_DATA"));
                statements.update->exchange(soci::use(code, "P_CODIGO"));
                Prepare(*statements.update, SqliteUpdateSql(table));
                statements.history.emplace(session);
                statements.history->exchange(soci::use(table_name, "P_TABELA"));
                statements.history->exchange(soci::use(code, "P_CODIGO"));
                statements.history->exchange(soci::use(old_date_read, old_date_read_null, "P_ANTERIOR"));
                statements.history->exchange(soci::use(old_date_text, old_date_text_null, "P_TEXTO_ANTERIOR"));
                statements.history->exchange(soci::use(date, "P_DATA"));
                BindWho(*statements.history);
                Prepare(*statements.history, SqliteHistorySql());
            } else {
                statements.update.emplace(session);
                statements.update->exchange(soci::use(date, "P_DATA1"));
                statements.update->exchange(soci::use(code, "P_CODIGO1"));
                statements.update->exchange(soci::use(date, "P_DATA2"));
                BindWho(*statements.update);
                Prepare(*statements.update, PostgresStoreSql(table));
                statements.together.emplace(session);
                statements.together->exchange(soci::into(stored_positions));
                statements.together->exchange(soci::use(batch, "P_LOTE"));
                statements.together->exchange(soci::use(registered, "P_REGISTRO"));
                Prepare(*statements.together, PostgresGroupSql(table));
            }
        }
    }

    // PostgreSQL: the stores `members` of a group in one statement per table; each gets Stored,
    // or UnknownCode when its code is not there under its own text or its Windows-1252 form.
    void StoreTogether(const std::vector<Pending*>& group, const std::vector<std::size_t>& members,
                       std::vector<StoreWriter::StoreResult>& results) {
        registered = UtcNow();
        std::vector<std::size_t> of_table;
        for (const StoreTarget target : {StoreTarget::NumberingControl, StoreTarget::IssueLocation}) {
            batch.assign(1, '[');
            of_table.clear();
            for (const std::size_t i : members) {
                const StoreRequest& request = group[i]->request;
                if (request.target != target) continue;
                if (!of_table.empty()) batch += ',';
                AppendField(batch, "{\"k\":", request.code);
                AppendField(batch, ",\"d\":", hostlib::ToSqlDateTime(request.date));
                AppendField(batch, ",\"c\":", request.client);
                AppendField(batch, ",\"u\":", request.user);
                AppendField(batch, ",\"o\":", request.origin);
                batch += '}';
                of_table.push_back(i);
                results[i].result = StoreWriter::Result::UnknownCode;
            }
            if (of_table.empty()) continue;
            batch += ']';
            For(target).together->execute(true);
            // The positions (from 1) of the stores whose code was there, comma-separated.
            const char* p = stored_positions.c_str();
            while (*p != '\0') {
                char* end = nullptr;
                const unsigned long position = std::strtoul(p, &end, 10);
                results[of_table.at(position - 1)].result = StoreWriter::Result::Stored;
                p = *end == ',' ? end + 1 : end;
            }
        }
        for (const std::size_t i : members) {
            if (results[i].result != StoreWriter::Result::UnknownCode) continue;
            if (const auto legacy = LegacyCode(group[i]->request.code)) results[i] = StoreUnder(group[i]->request, *legacy);
        }
    }

    // PostgreSQL, a group some store of which carries checks: locks its rows in one order (the
    // numbering controls it stores to or whose invoices it reads, then the locations), reads their
    // dates and the latest invoices after the locks (so nothing committed before is missed), and
    // decides each store in arrival order against what the one before it left. The indexes of the
    // stores that go ahead; the others' results say why not.
    std::vector<std::size_t> DecideUnderLock(const std::vector<Pending*>& group,
                                             std::vector<StoreWriter::StoreResult>& results) {
        std::set<std::string> controls;
        std::set<std::string> locations;
        std::set<std::string> invoice_controls;
        for (const Pending* pending : group) {
            const StoreRequest& request = pending->request;
            (request.target == StoreTarget::NumberingControl ? controls : locations).insert(request.code);
            if (request.expect.invoices != InvoiceCheck::None) {
                controls.insert(request.expect.control);
                invoice_controls.insert(request.expect.control);
            }
        }
        auto current_controls = LockAndRead(kControls, controls);
        auto current_locations = LockAndRead(kLocations, locations);
        std::map<std::string, LatestInvoice> latest;
        for (const auto& control : invoice_controls) latest[control] = LatestInvoiceOf(control);
        std::map<std::pair<StoreTarget, std::string>, std::string> last_user;
        std::vector<std::size_t> accepted;
        for (std::size_t i = 0; i < group.size(); ++i) {
            const StoreRequest& request = group[i]->request;
            auto& current = request.target == StoreTarget::NumberingControl ? current_controls : current_locations;
            auto row = current.find(request.code);
            if (const auto legacy = LegacyCode(request.code); row == current.end() && legacy) row = current.find(*legacy);
            if (row == current.end()) {
                results[i].result = StoreWriter::Result::UnknownCode;
                continue;
            }
            const auto key = std::make_pair(request.target, row->first);
            if (request.expect.Any()) {
                auto refusal = Check(request, row->first, row->second,
                                     request.expect.invoices == InvoiceCheck::None ? LatestInvoice{}
                                                                                   : latest[request.expect.control],
                                     [&]() -> std::optional<std::string> {
                                         if (const auto by = last_user.find(key); by != last_user.end()) {
                                             return by->second;
                                         }
                                         return UserOf(request.target, row->first, row->second);
                                     });
                if (refusal) {
                    results[i] = {StoreWriter::Result::Refused, refusal};
                    continue;
                }
            }
            row->second = request.date;
            last_user[key] = request.user;
            accepted.push_back(i);
        }
        return accepted;
    }

    // Stores the date and its history row. A code beyond ASCII that is not there is looked for
    // again in Windows-1252, as an older system may have written it; the history then keeps the
    // code as the table does. On SQLite, whose write lock the whole transaction holds, the
    // store's checks run here against the row as the stores before it left it; on PostgreSQL
    // DecideUnderLock has run them.
    StoreWriter::StoreResult Store(const StoreRequest& request) {
        StoreWriter::StoreResult result = StoreUnder(request, request.code);
        if (result.result != StoreWriter::Result::UnknownCode) return result;
        const auto legacy = LegacyCode(request.code);
        return legacy ? StoreUnder(request, *legacy) : result;
    }

private:
    std::optional<std::string> LegacyCode(const std::string& text) const {
        if (!legacy_text_) return std::nullopt;
        return hostlib::utf8::Windows1252Form(text);
    }

    StoreWriter::StoreResult StoreUnder(const StoreRequest& request, const std::string& key) {
        date = hostlib::ToSqlDateTime(request.date);
        code = key;
        client = request.client;
        user = request.user;
        origin = request.origin;
        registered = UtcNow();
        table_name = TableOf(request.target).name;
        Targeted& statements = For(request.target);
        if (kind_ == hostlib::DatabaseKind::PostgreSQL) {
            statements.update->execute(true);
            return {statements.update->get_affected_rows() > 0 ? StoreWriter::Result::Stored
                                                                : StoreWriter::Result::UnknownCode,
                    nullptr};
        }
        old_date_null = soci::i_null;
        const bool exists = statements.old_date->execute(true);
        while (exists && statements.old_date->fetch()) {
        }
        if (!exists) return {StoreWriter::Result::UnknownCode, nullptr};
        ReadOldDate();
        if (request.expect.Any()) {
            const std::optional<hostlib::TDateTime> current =
                old_date_read_null == soci::i_null ? std::nullopt : hostlib::ReadDatabaseDateTime(old_date_read);
            const LatestInvoice latest = request.expect.invoices == InvoiceCheck::None
                                             ? LatestInvoice{}
                                             : LatestInvoiceOf(request.expect.control);
            auto refusal = Check(request, key, current, latest, [&] { return UserOf(request.target, key, current); });
            if (refusal) return {StoreWriter::Result::Refused, refusal};
        }
        statements.update->execute(true);
        if (statements.update->get_affected_rows() == 0) return {StoreWriter::Result::UnknownCode, nullptr};
        statements.history->execute(true);
        return {StoreWriter::Result::Stored, nullptr};
    }

    // The store's checks against the row's date `current` and the latest invoice of the control
    // it names; an invoice date no form reads refuses the check, naming it.
    std::exception_ptr Check(const StoreRequest& request, const std::string& key,
                             const std::optional<hostlib::TDateTime>& current, const LatestInvoice& latest,
                             const std::function<std::optional<std::string>()>& user_of_current) {
        if (latest.state == InvoiceDate::Unreadable) {
            return std::make_exception_ptr(EApplicationError("Data ilegível gravada na tabela NOTAFISCAL para o código '" +
                                                             hostlib::utf8::ValidOrWindows1252(request.expect.control) +
                                                             "'."));
        }
        StoreState state;
        state.current = current;
        if (latest.state == InvoiceDate::Found) state.latest_invoice = latest.date;
        return CheckStore(TableOf(request.target).name, hostlib::utf8::ValidOrWindows1252(key), request.date,
                          request.expect, state, user_of_current);
    }

    // SQLite: the old date as the server reads it, for the history. Empty text is none; a
    // text no form reads is none too, and its text is kept beside.
    void ReadOldDate() {
        old_date_read_null = soci::i_null;
        old_date_text_null = soci::i_null;
        if (old_date_null == soci::i_null || old_date.find_first_not_of(' ') == std::string::npos) return;
        if (const auto read = hostlib::ReadDatabaseDateTime(old_date)) {
            old_date_read = hostlib::DateTimeToIso(*read, ' ');
            old_date_read_null = soci::i_ok;
            return;
        }
        old_date_text = hostlib::utf8::Truncated(hostlib::utf8::ValidOrWindows1252(old_date), kLongestOldDateText);
        old_date_text_null = soci::i_ok;
    }

    // The latest invoice of a control, as GetMaxData finds it.
    LatestInvoice LatestInvoiceOf(const std::string& control) {
        LatestInvoice latest = latest_invoice_.Find(control);
        if (latest.state == InvoiceDate::None) {
            if (const auto legacy = LegacyCode(control)) latest = latest_invoice_.Find(*legacy);
        }
        return latest;
    }

    // PostgreSQL: the rows of `codes` (and of their Windows-1252 forms) in `table`, locked in
    // code order, with their dates as the server reads them (a code missing from the answer has
    // no row; a date no form reads counts as none).
    std::map<std::string, std::optional<hostlib::TDateTime>> LockAndRead(const StoreTable& table,
                                                                         const std::set<std::string>& codes) {
        std::map<std::string, std::optional<hostlib::TDateTime>> rows;
        if (codes.empty()) return rows;
        std::string list = "[";
        for (const auto& c : codes) {
            for (const auto& form : {std::optional<std::string>(c), LegacyCode(c)}) {
                if (!form) continue;
                if (list.size() > 1) list += ',';
                AppendJsonString(list, *form);
            }
        }
        list += ']';
        std::string answer;
        session_ << std::string("SELECT COALESCE(CAST(json_agg(json_build_array(K, D)) AS TEXT), '[]') FROM (SELECT ") +
                        table.key + " AS K, CASE WHEN " + PostgresReadable(table.date) + " THEN CAST(" + table.date +
                        " AS TEXT) END AS D FROM " + table.name + " WHERE " + table.key +
                        " IN (SELECT json_array_elements_text(CAST(:P_CODIGOS AS JSON))) ORDER BY " + table.key +
                        " FOR UPDATE) AS L",
            soci::into(answer), soci::use(list, "P_CODIGOS");
        for (const auto& pair : nlohmann::json::parse(answer)) {
            const auto& stored = pair[1];
            rows[pair[0].get<std::string>()] =
                stored.is_null() ? std::nullopt : hostlib::ReadDatabaseDateTime(stored.get<std::string>());
        }
        return rows;
    }

    // Who stored the date a row holds now: the user of its newest history row, when that row's
    // new date is the one held.
    std::optional<std::string> UserOf(StoreTarget target, const std::string& key,
                                      const std::optional<hostlib::TDateTime>& current) {
        std::string stored_user;
        std::string stored_date;
        soci::indicator user_null = soci::i_null;
        soci::indicator date_null = soci::i_null;
        std::string table_text = TableOf(target).name;
        std::string key_text = key;
        session_ << "SELECT NMUSUARIO, CAST(DTNOVA AS VARCHAR(40)) FROM HISTDTEMISSAO WHERE NMTABELA = :P_TABELA "
                    "AND CDCHAVE = :P_CHAVE ORDER BY NRHISTORICO DESC LIMIT 1",
            soci::into(stored_user, user_null), soci::into(stored_date, date_null), soci::use(table_text, "P_TABELA"),
            soci::use(key_text, "P_CHAVE");
        if (user_null == soci::i_null || date_null == soci::i_null) return std::nullopt;
        if (!SameStoredDate(hostlib::ReadDatabaseDateTime(stored_date), current)) return std::nullopt;
        return stored_user;
    }

    struct Targeted {
        std::optional<soci::statement> old_date;
        std::optional<soci::statement> update;
        std::optional<soci::statement> history;
        std::optional<soci::statement> together;
    };
    Targeted& For(StoreTarget target) { return target == StoreTarget::NumberingControl ? controls_ : locations_; }
    void BindWho(soci::statement& statement) {
        statement.exchange(soci::use(client, "P_CLIENTE"));
        statement.exchange(soci::use(user, "P_USUARIO"));
        statement.exchange(soci::use(origin, "P_ORIGEM"));
        statement.exchange(soci::use(registered, "P_REGISTRO"));
    }
    static void Prepare(soci::statement& statement, const std::string& sql) {
        statement.alloc();
        statement.prepare(sql);
        statement.define_and_bind();
    }

    soci::session& session_;
    hostlib::DatabaseKind kind_;
    bool legacy_text_;
    LatestInvoiceQuery latest_invoice_;
    std::string date, code, client, user, origin, registered, table_name, old_date, batch, stored_positions;
    std::string old_date_read, old_date_text;
    soci::indicator old_date_null = soci::i_null;
    soci::indicator old_date_read_null = soci::i_null;
    soci::indicator old_date_text_null = soci::i_null;
    Targeted controls_;
    Targeted locations_;
};

StoreWriter::StoreWriter(std::string database_url, hostlib::SessionOptions session_options, DatabaseFileGuard& file,
                         std::size_t largest_group)
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
        if (!session_.IsOpen()) return true;
        SessionKeeper::Call call(session_);
        return session_.Database().CheckpointLog();
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

StoreWriter::Statements& StoreWriter::Prepared(hostlib::DatabaseSession& database) {
    if (statements_generation_ != session_.Generation()) statements_.reset();
    if (!statements_) {
        statements_ = std::make_unique<Statements>(database.Session(), kind_, database.KeepsLegacyText());
        statements_generation_ = session_.Generation();
    }
    return *statements_;
}

StoreWriter::Attempt StoreWriter::TryGroup(std::vector<Pending*>& group, std::vector<StoreResult>& results,
                                           GroupMode mode) {
    Attempt attempt;
    // A session lost while idle (the database restarted) is opened again once: nothing of
    // this group has reached the database yet.
    for (int round = 0;; ++round) {
        if (reopen_round_ != file_.ReopenRound()) {
            reopen_round_ = file_.ReopenRound();
            statements_.reset();
            session_.Drop();
        }
        const bool had_session = session_.IsOpen();
        // A connection lost during COMMIT may have committed: that group is never sent again.
        bool commit_sent = false;
        try {
            SessionKeeper::Call call(session_);
            hostlib::DatabaseSession& database = session_.Database();
            Statements& statements = Prepared(database);
            hostlib::TWriteTransaction transaction(database);
            results.assign(group.size(), StoreResult{});
            std::vector<std::size_t> going;
            const bool postgres = kind_ == hostlib::DatabaseKind::PostgreSQL;
            const bool checked = std::any_of(group.begin(), group.end(),
                                             [](const Pending* pending) { return pending->request.expect.Any(); });
            if (postgres && checked) {
                going = statements.DecideUnderLock(group, results);
            } else {
                for (std::size_t i = 0; i < group.size(); ++i) going.push_back(i);
            }
            if (mode == GroupMode::Together && postgres) {
                try {
                    statements.StoreTogether(group, going, results);
                } catch (...) {
                    const auto failure = AsDatabaseError(std::current_exception());
                    const auto category = CategoryOf(failure);
                    if (category && FailsEveryStore(*category)) throw;
                    attempt.result = Attempt::Result::TogetherFailed;
                    statements_.reset();
                    return attempt;
                }
                commit_sent = true;
                transaction.Commit();
                return attempt;
            }
            for (const std::size_t i : going) {
                try {
                    results[i] = statements.Store(group[i]->request);
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
            commit_sent = true;
            transaction.Commit();
            return attempt;
        } catch (...) {
            const auto failure = AsDatabaseError(std::current_exception());
            const auto category = CategoryOf(failure);
            statements_.reset();
            if (category == DatabaseErrorCategory::ConnectionFailed || category == DatabaseErrorCategory::ReadOnly) {
                // Dropped: a new session also sees permissions given back meanwhile, once every
                // other session of the process has let go of the read-only view too.
                if (category == DatabaseErrorCategory::ReadOnly) {
                    file_.AskEverySessionToReopen();
                    reopen_round_ = file_.ReopenRound();
                }
                session_.Drop();
                if (had_session && !commit_sent && round == 0 && category == DatabaseErrorCategory::ConnectionFailed) {
                    continue;
                }
            }
            attempt.result = Attempt::Result::AllFailed;
            attempt.failure = failure;
            return attempt;
        }
    }
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
