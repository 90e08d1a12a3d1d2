#include "settings_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "hostlib/datetime.h"

namespace host::desktop {

SettingsDialog::SettingsDialog(const HostSettings& s, QWidget* parent)
    : QDialog(parent),
      company_(new QLineEdit(s.company, this)),
      state_registration_(new QLineEdit(s.state_registration, this)),
      municipal_registration_(new QLineEdit(s.municipal_registration, this)),
      branch_(new QLineEdit(s.branch, this)),
      processing_date_(new QLineEdit(s.processing_date, this)),
      server_(new QLineEdit(s.server, this)),
      database_(new QLineEdit(s.database, this)),
      user_(new QLineEdit(s.user, this)) {
    setObjectName("SettingsDialog");
    setWindowTitle("Configurações");
    auto* form = new QFormLayout(this);
    form->addRow("&Empresa:", company_);
    form->addRow("Inscrição &estadual:", state_registration_);
    form->addRow("Inscrição &municipal:", municipal_registration_);
    form->addRow("&Filial:", branch_);
    user_->setObjectName("edtUsuario");
    user_->setPlaceholderText("nome registrado em cada alteração de data");
    form->addRow("&Usuário:", user_);
    processing_date_->setPlaceholderText("dd/mm/aaaa (vazio: hoje)");
    form->addRow("&Data de processamento:", processing_date_);
    server_->setPlaceholderText("embedded ou HOST:PORTA");
    form->addRow("&Servidor de aplicação:", server_);
    database_->setPlaceholderText("sqlite:ARQUIVO ou postgresql://... (vazio: banco de demonstração)");
    form->addRow("&Banco de dados:", database_);
    form->addRow(new QLabel("Servidor e banco de dados valem a partir da próxima abertura do programa.", this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText("Cancelar");
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::Check);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void SettingsDialog::Check() {
    const QString date = processing_date_->text().trimmed();
    if (!date.isEmpty() && !hostlib::TryStrToDate(date.toStdString())) {
        QMessageBox::warning(this, "Configurações", "Data de processamento inválida: use dd/mm/aaaa.");
        processing_date_->setFocus();
        return;
    }
    accept();
}

HostSettings SettingsDialog::Settings() const {
    HostSettings s;
    s.company = company_->text().trimmed();
    s.state_registration = state_registration_->text().trimmed();
    s.municipal_registration = municipal_registration_->text().trimmed();
    s.branch = branch_->text().trimmed();
    s.processing_date = processing_date_->text().trimmed();
    s.server = server_->text().trimmed().isEmpty() ? "embedded" : server_->text().trimmed();
    s.database = database_->text().trimmed();
    s.user = user_->text().trimmed();
    return s;
}

}  // namespace host::desktop
