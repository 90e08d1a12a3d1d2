#pragma once
// The host's own calls for who changed which issue date (the history of stores) and for the
// numbering controls whose last date lags their invoices (the drift report), over a
// connection of its own beside the screen's.
#include <optional>
#include <string>
#include <string_view>

#include "hostlib/application.h"
#include "hostlib/net/client_dataset.h"
#include "hostlib/net/net_connection.h"

namespace host {

enum class HistoryTable { NumberingControls, IssueLocations };

// "CTRLNUMENF" and "LOCALEMISSAO", the names the server knows them by.
std::string_view HistoryTableName(HistoryTable table);
// Either name, in any case; nothing for any other.
std::optional<HistoryTable> HistoryTableFromName(std::string_view name);

class DateAuditClient {
public:
    // The most stores one look at the history brings, newest first.
    static constexpr int kHistoryRowLimit = 200;

    // Talks to the server the application's values name, with its token and user.
    explicit DateAuditClient(hostlib::TApplication& application);

    // The stores of `table`, of `code` only unless it is empty. Each call raises
    // hostlib::Exception with a text for the user when the server cannot be reached, refuses
    // the call or answers something else than the expected columns.
    const hostlib::TClientDataSet& History(HistoryTable table, const std::string& code);
    // Every numbering control beside its latest invoice, with the verdict "ok", "atrasado",
    // "sem data" or "ilegível".
    const hostlib::TClientDataSet& Drift();

private:
    hostlib::TApplication& application_;
    hostlib::TNetConnection connection_{nullptr, "netAuditoria"};
    hostlib::TClientDataSet history_{nullptr, "cdsHistorico"};
    hostlib::TClientDataSet drift_{nullptr, "cdsDivergencias"};
};

}  // namespace host
