#pragma once
// The latest invoice of a numbering control, chosen by the date and time its date stands for.
// PostgreSQL compares its typed column itself. SQLite keeps dates as text, where
// "2024-05-15T10:00:00" sorts after "2024-05-15 22:00:00", "9:15" after "10:00", and a zone
// is not seen at all: there an index on the value SQLite reads of the text (its julianday,
// the instant for a text with a zone) brings the few invoices that may be the latest, and the
// server reads each as it reads every date and takes the greatest.
#include <memory>
#include <string>

#include "core/datetime.h"
#include "core/db/database_session.h"

namespace soci {
class session;
class statement;
}  // namespace soci

namespace appserver {

enum class InvoiceDate { None, Found, Unreadable };

struct LatestInvoice {
    // None: no invoice with a date. Unreadable: one that may be the latest holds a date in no
    // form the server reads, so which is the latest cannot be told.
    InvoiceDate state = InvoiceDate::None;
    hostlib::TDateTime date = 0;
};

class LatestInvoiceQuery {
public:
    // Prepared on `session` at the first Find, and kept with it.
    LatestInvoiceQuery(soci::session& session, hostlib::DatabaseKind kind);
    ~LatestInvoiceQuery();
    LatestInvoiceQuery(const LatestInvoiceQuery&) = delete;
    LatestInvoiceQuery& operator=(const LatestInvoiceQuery&) = delete;

    // `control` as the table keeps it. Each statement is read to its end.
    LatestInvoice Find(const std::string& control);

private:
    struct Statements;
    LatestInvoice FindTyped(Statements& s);
    LatestInvoice FindAmongTexts(Statements& s);

    soci::session& session_;
    hostlib::DatabaseKind kind_;
    std::unique_ptr<Statements> statements_;
};

}  // namespace appserver
