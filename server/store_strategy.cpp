#include "store_strategy.h"

#include <soci/soci.h>

#include <ctime>

#include "core/db/sql_value.h"
#include "core/utf8.h"

namespace appserver {

namespace {

constexpr StoreTable kControls{"CTRLNUMENF", "CDCTRLNUMENF", "DTEMISCTNUNF"};
constexpr StoreTable kLocations{"LOCALEMISSAO", "CDLOCALEMIS", "DTULTEMISLCE"};

}  // namespace

const char* const kHistoryColumns =
    "INSERT INTO HISTDTEMISSAO (NMTABELA, CDCHAVE, DTANTERIOR, DSDTANTERIOR, DTNOVA, NMCLIENTE, NMUSUARIO, DSORIGEM, "
    "DTREGISTRO) ";

const StoreTable& TableOf(StoreTarget target) {
    return target == StoreTarget::NumberingControl ? kControls : kLocations;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[24];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

std::unique_ptr<StoreStrategy> StoreStrategy::For(hostlib::DatabaseSession& database) {
    return database.Kind() == hostlib::DatabaseKind::PostgreSQL ? MakePostgresStore(database)
                                                                : MakeSqliteStore(database);
}

StoreStrategy::StoreStrategy(hostlib::DatabaseSession& database)
    : session_(database.Session()),
      legacy_text_(database.KeepsLegacyText()),
      latest_invoice_(session_, database.Kind()) {}

StoreStrategy::~StoreStrategy() = default;

std::vector<std::size_t> StoreStrategy::Decide(const StoreGroup& group, std::vector<StoreResult>&) {
    std::vector<std::size_t> going(group.size());
    for (std::size_t i = 0; i < group.size(); ++i) going[i] = i;
    return going;
}

void StoreStrategy::StoreTogether(const StoreGroup& group, const std::vector<std::size_t>& members,
                                  std::vector<StoreResult>& results) {
    for (const std::size_t i : members) results[i] = Store(*group[i]);
}

StoreResult StoreStrategy::Store(const StoreRequest& request) {
    StoreResult result = StoreUnder(request, request.code);
    if (result.result != StoreResult::Result::UnknownCode) return result;
    const auto legacy = LegacyCode(request.code);
    return legacy ? StoreUnder(request, *legacy) : result;
}

std::optional<std::string> StoreStrategy::LegacyCode(const std::string& text) const {
    if (!legacy_text_) return std::nullopt;
    return hostlib::utf8::Windows1252Form(text);
}

std::exception_ptr StoreStrategy::Check(const StoreRequest& request, const std::string& key,
                                        const std::optional<hostlib::TDateTime>& current, const LatestInvoice& latest,
                                        const std::function<std::optional<std::string>()>& user_of_current) {
    if (latest.state == InvoiceDate::Unreadable) {
        return std::make_exception_ptr(UnreadableDateError("NOTAFISCAL", request.expect.control));
    }
    StoreState state;
    state.current = current;
    if (latest.state == InvoiceDate::Found) state.latest_invoice = latest.date;
    return CheckStore(TableOf(request.target).name, hostlib::utf8::ValidOrWindows1252(key), request.date,
                      request.expect, state, user_of_current);
}

LatestInvoice StoreStrategy::LatestInvoiceOf(const std::string& control) {
    LatestInvoice latest = latest_invoice_.Find(control);
    if (latest.state == InvoiceDate::None) {
        if (const auto legacy = LegacyCode(control)) latest = latest_invoice_.Find(*legacy);
    }
    return latest;
}

std::optional<std::string> StoreStrategy::UserOf(StoreTarget target, const std::string& key,
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

void StoreStrategy::Bind(const StoreRequest& request, const std::string& key) {
    date = hostlib::ToSqlDateTime(request.date);
    code = key;
    client = request.client;
    user = request.user;
    origin = request.origin;
    registered = UtcNow();
    table_name = TableOf(request.target).name;
}

void StoreStrategy::BindWho(soci::statement& statement) {
    statement.exchange(soci::use(client, "P_CLIENTE"));
    statement.exchange(soci::use(user, "P_USUARIO"));
    statement.exchange(soci::use(origin, "P_ORIGEM"));
    statement.exchange(soci::use(registered, "P_REGISTRO"));
}

void StoreStrategy::Prepare(soci::statement& statement, const std::string& sql) {
    statement.alloc();
    statement.prepare(sql);
    statement.define_and_bind();
}

}  // namespace appserver
