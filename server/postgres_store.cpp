// PostgreSQL locks rows one by one: a group's checks run first, against its rows locked in one
// order, and its stores go in one statement per table, each with its history row.
#include <soci/soci.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "core/db/sql_value.h"
#include "json_text.h"
#include "store_strategy.h"

namespace appserver {

namespace {

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

// PostgreSQL: one statement, one round trip. The subquery locks the row and reads its old
// date before the update changes it; a code not there writes nothing at all.
std::string StoreSql(const StoreTable& t) {
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
std::string GroupSql(const StoreTable& t) {
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

class PostgresStore : public StoreStrategy {
public:
    explicit PostgresStore(hostlib::DatabaseSession& database) : StoreStrategy(database) {
        for (const StoreTarget target : {StoreTarget::NumberingControl, StoreTarget::IssueLocation}) {
            Targeted& statements = Of(target);
            const StoreTable& table = TableOf(target);
            statements.update.emplace(session_);
            statements.update->exchange(soci::use(date, "P_DATA1"));
            statements.update->exchange(soci::use(code, "P_CODIGO1"));
            statements.update->exchange(soci::use(date, "P_DATA2"));
            BindWho(*statements.update);
            Prepare(*statements.update, StoreSql(table));
            statements.together.emplace(session_);
            statements.together->exchange(soci::into(stored_positions));
            statements.together->exchange(soci::use(batch, "P_LOTE"));
            statements.together->exchange(soci::use(registered, "P_REGISTRO"));
            Prepare(*statements.together, GroupSql(table));
        }
    }

    bool StoresTogether() const override { return true; }

    void StoreTogether(const StoreGroup& group, const std::vector<std::size_t>& members,
                       std::vector<StoreResult>& results) override {
        registered = UtcNow();
        std::vector<std::size_t> of_table;
        for (const StoreTarget target : {StoreTarget::NumberingControl, StoreTarget::IssueLocation}) {
            batch.assign(1, '[');
            of_table.clear();
            for (const std::size_t i : members) {
                const StoreRequest& request = *group[i];
                if (request.target != target) continue;
                if (!of_table.empty()) batch += ',';
                AppendField(batch, "{\"k\":", request.code);
                AppendField(batch, ",\"d\":", hostlib::ToSqlDateTime(request.date));
                AppendField(batch, ",\"c\":", request.client);
                AppendField(batch, ",\"u\":", request.user);
                AppendField(batch, ",\"o\":", request.origin);
                batch += '}';
                of_table.push_back(i);
                results[i].result = StoreResult::Result::UnknownCode;
            }
            if (of_table.empty()) continue;
            batch += ']';
            Of(target).together->execute(true);
            // The positions (from 1) of the stores whose code was there, comma-separated.
            const char* p = stored_positions.c_str();
            while (*p != '\0') {
                char* end = nullptr;
                const unsigned long position = std::strtoul(p, &end, 10);
                results[of_table.at(position - 1)].result = StoreResult::Result::Stored;
                p = *end == ',' ? end + 1 : end;
            }
        }
        for (const std::size_t i : members) {
            if (results[i].result != StoreResult::Result::UnknownCode) continue;
            if (const auto legacy = LegacyCode(group[i]->code)) results[i] = StoreUnder(*group[i], *legacy);
        }
    }

    // A group some store of which carries checks: locks its rows in one order (the
    // numbering controls it stores to or whose invoices it reads, then the locations), reads their
    // dates and the latest invoices after the locks (so nothing committed before is missed), and
    // decides each store in arrival order against what the one before it left. The indexes of the
    // stores that go ahead; the others' results say why not.
    std::vector<std::size_t> Decide(const StoreGroup& group, std::vector<StoreResult>& results) override {
        const bool checked = std::any_of(group.begin(), group.end(),
                                         [](const StoreRequest* request) { return request->expect.Any(); });
        if (!checked) return StoreStrategy::Decide(group, results);
        std::set<std::string> controls;
        std::set<std::string> locations;
        std::set<std::string> invoice_controls;
        for (const StoreRequest* pending : group) {
            const StoreRequest& request = *pending;
            (request.target == StoreTarget::NumberingControl ? controls : locations).insert(request.code);
            if (request.expect.invoices != InvoiceCheck::None) {
                controls.insert(request.expect.control);
                invoice_controls.insert(request.expect.control);
            }
        }
        auto current_controls = LockAndRead(TableOf(StoreTarget::NumberingControl), controls);
        auto current_locations = LockAndRead(TableOf(StoreTarget::IssueLocation), locations);
        std::map<std::string, LatestInvoice> latest;
        for (const auto& control : invoice_controls) latest[control] = LatestInvoiceOf(control);
        std::map<std::pair<StoreTarget, std::string>, std::string> last_user;
        std::vector<std::size_t> accepted;
        for (std::size_t i = 0; i < group.size(); ++i) {
            const StoreRequest& request = *group[i];
            auto& current = request.target == StoreTarget::NumberingControl ? current_controls : current_locations;
            auto row = current.find(request.code);
            if (const auto legacy = LegacyCode(request.code); row == current.end() && legacy) row = current.find(*legacy);
            if (row == current.end()) {
                results[i].result = StoreResult::Result::UnknownCode;
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
                    results[i] = {StoreResult::Result::Refused, refusal};
                    continue;
                }
            }
            row->second = request.date;
            last_user[key] = request.user;
            accepted.push_back(i);
        }
        return accepted;
    }

private:
    // One statement: the row's old date goes into the history row of the update.
    StoreResult StoreUnder(const StoreRequest& request, const std::string& key) override {
        Bind(request, key);
        Targeted& statements = Of(request.target);
        statements.update->execute(true);
        return {statements.update->get_affected_rows() > 0 ? StoreResult::Result::Stored
                                                            : StoreResult::Result::UnknownCode,
                nullptr};
    }

    // The rows of `codes` (and of their Windows-1252 forms) in `table`, locked in
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

    struct Targeted {
        std::optional<soci::statement> update;
        std::optional<soci::statement> together;
    };
    Targeted& Of(StoreTarget target) { return target == StoreTarget::NumberingControl ? controls_ : locations_; }

    std::string batch, stored_positions;
    Targeted controls_;
    Targeted locations_;
};

}  // namespace

std::unique_ptr<StoreStrategy> MakePostgresStore(hostlib::DatabaseSession& database) {
    return std::make_unique<PostgresStore>(database);
}

}  // namespace appserver
