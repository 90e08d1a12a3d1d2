#include "core/db/write_transaction.h"

#include <soci/soci.h>

#include "core/db/database_session.h"

namespace hostlib {

TWriteTransaction::TWriteTransaction(DatabaseSession& database) : database_(database) {
    database_.Session() << (database_.Kind() == DatabaseKind::SQLite ? "BEGIN IMMEDIATE" : "BEGIN");
}

TWriteTransaction::~TWriteTransaction() {
    if (!open_) return;
    try {
        database_.Session() << "ROLLBACK";
    } catch (...) {
        // The error that ended the work is the one to report; whoever saw it drops the session.
    }
}

void TWriteTransaction::Commit() {
    // Still open until the commit succeeds: a COMMIT refused while busy leaves the transaction
    // (and its write lock) in place, and the destructor must roll it back.
    database_.Session() << "COMMIT";
    open_ = false;
}

}  // namespace hostlib
