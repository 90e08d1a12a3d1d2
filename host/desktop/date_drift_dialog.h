#pragma once
// "Conferência de datas": every numbering control beside its latest invoice, the ones whose
// last issue date lags behind (or is missing) marked.
#include <QDialog>

#include "date_audit_client.h"

class QLabel;
class QTableWidget;

namespace host::desktop {

class DateDriftDialog : public QDialog {
    Q_OBJECT

public:
    DateDriftDialog(DateAuditClient& client, QWidget* parent = nullptr);
    // Asks the server again; a failure is shown to the user.
    void Refresh();

private:
    // Bold, in the warning colour and with the warning icon: every row not "ok".
    int MarkDrifting();

    DateAuditClient& client_;
    QTableWidget* rows_;
    QLabel* summary_;
};

}  // namespace host::desktop
