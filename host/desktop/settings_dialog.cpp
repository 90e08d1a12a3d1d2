#include "settings_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace host::desktop {

namespace {

bool IsFileField(const SettingField& field) {
    return field.field == &HostSettings::token_file || field.field == &HostSettings::tls_ca_file;
}

}  // namespace

SettingsDialog::SettingsDialog(const HostSettings& s, QWidget* parent) : QDialog(parent) {
    setObjectName("SettingsDialog");
    setWindowTitle("Configurações");
    auto* form = new QFormLayout(this);
    // A message appearing under a field makes room for itself.
    form->setSizeConstraint(QLayout::SetMinimumSize);
    for (const SettingField& field : SettingFields()) AddRow(*form, field, s.*field.field);
    form->addRow(new QLabel("Servidor, banco de dados e arquivos valem a partir da próxima abertura do programa.", this));
    buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons_->button(QDialogButtonBox::Cancel)->setText("Cancelar");
    connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons_);
    for (const Row& row : rows_) Check(row);
}

void SettingsDialog::AddRow(QFormLayout& form, const SettingField& field, const QString& value) {
    auto* edit = new QLineEdit(value, this);
    edit->setObjectName(field.key);
    if (field.hint != nullptr) edit->setPlaceholderText(field.hint);
    auto* error = new QLabel(this);
    error->setObjectName(QString(field.key) + "Erro");
    error->setStyleSheet("color: #b00020;");
    error->setWordWrap(true);
    error->hide();
    auto* cell = new QWidget(this);
    auto* column = new QVBoxLayout(cell);
    column->setContentsMargins(0, 0, 0, 0);
    auto* line = new QHBoxLayout;
    line->addWidget(edit);
    if (IsFileField(field)) {
        auto* browse = new QToolButton(this);
        browse->setText("...");
        browse->setToolTip("Escolher o arquivo");
        connect(browse, &QToolButton::clicked, this, [this, edit] {
            const QString chosen = QFileDialog::getOpenFileName(this, "Escolher arquivo", edit->text());
            if (!chosen.isEmpty()) edit->setText(chosen);
        });
        line->addWidget(browse);
    }
    column->addLayout(line);
    column->addWidget(error);
    auto* label = new QLabel(QString(field.label) + ":", this);
    label->setBuddy(edit);
    form.addRow(label, cell);
    rows_.push_back({&field, edit, error});
    const Row row = rows_.back();
    connect(edit, &QLineEdit::textChanged, this, [this, row] { Check(row); });
}

void SettingsDialog::Check(const Row& row) {
    const auto problem = row.field->check != nullptr ? row.field->check(row.edit->text().trimmed().toStdString())
                                                     : std::nullopt;
    row.error->setText(problem ? QString::fromStdString(*problem) : QString());
    row.error->setVisible(problem.has_value());
    UpdateAcceptance();
}

void SettingsDialog::UpdateAcceptance() {
    if (buttons_ == nullptr) return;
    bool all_good = true;
    for (const Row& row : rows_) all_good = all_good && row.error->text().isEmpty();
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(all_good);
}

HostSettings SettingsDialog::Settings() const {
    HostSettings s;
    for (const Row& row : rows_) s.*row.field->field = row.edit->text().trimmed();
    if (s.server.isEmpty()) s.server = "embedded";
    return s;
}

}  // namespace host::desktop
