#pragma once
// "Histórico de datas": the stores of issue dates, newest first, of one table and
// optionally one code, with who made each and from where.
#include <QDialog>

#include "date_audit_client.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace host::desktop {

class DateHistoryDialog : public QDialog {
    Q_OBJECT

public:
    DateHistoryDialog(DateAuditClient& client, QWidget* parent = nullptr);
    // Asks the server again for the table and code shown; a failure is shown to the user.
    void Refresh();

private:
    DateAuditClient& client_;
    QComboBox* table_choice_;
    QLineEdit* code_;
    QTableWidget* rows_;
    QLabel* summary_;
};

}  // namespace host::desktop
