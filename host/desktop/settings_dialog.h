#pragma once
// The host's settings, as the user edits them: each value is checked as it is typed and
// what is wrong is said at its field; OK waits until every value is good.
#include <QDialog>
#include <vector>

#include "host_settings.h"

class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QLineEdit;

namespace host::desktop {

class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    SettingsDialog(const HostSettings& settings, QWidget* parent = nullptr);
    HostSettings Settings() const;

private:
    struct Row {
        const SettingField* field;
        QLineEdit* edit;
        QLabel* error;  // what is wrong with the value; hidden while it is good
    };
    void AddRow(QFormLayout& form, const SettingField& field, const QString& value);
    // Checks one field, says so beside it, and lets OK go only when all are good.
    void Check(const Row& row);
    void UpdateAcceptance();

    std::vector<Row> rows_;
    QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace host::desktop
