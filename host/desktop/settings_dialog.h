#pragma once
// The host's settings, as the user edits them.
#include <QDialog>

#include "host_settings.h"

class QLineEdit;

namespace host::desktop {

class SettingsDialog : public QDialog {
    Q_OBJECT

public:
    SettingsDialog(const HostSettings& settings, QWidget* parent = nullptr);
    HostSettings Settings() const;

private:
    void Check();

    QLineEdit* company_;
    QLineEdit* state_registration_;
    QLineEdit* municipal_registration_;
    QLineEdit* branch_;
    QLineEdit* processing_date_;
    QLineEdit* server_;
    QLineEdit* database_;
    QLineEdit* user_;
};

}  // namespace host::desktop
