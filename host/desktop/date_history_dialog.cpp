#include "date_history_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "dataset_table.h"
#include "server_query.h"

namespace host::desktop {

DateHistoryDialog::DateHistoryDialog(DateAuditClient& client, QWidget* parent)
    : QDialog(parent),
      client_(client),
      table_choice_(new QComboBox(this)),
      code_(new QLineEdit(this)),
      rows_(new QTableWidget(this)),
      summary_(new QLabel(this)) {
    setObjectName("DateHistoryDialog");
    setWindowTitle("Histórico de datas");
    for (HistoryTable table : {HistoryTable::NumberingControls, HistoryTable::IssueLocations}) {
        table_choice_->addItem(QString::fromStdString(std::string(HistoryTableName(table))), static_cast<int>(table));
    }
    table_choice_->setObjectName("cboTabela");
    code_->setObjectName("edtCodigo");
    code_->setPlaceholderText("vazio: todos");
    auto* search = new QPushButton("&Consultar", this);
    search->setObjectName("btnConsultar");
    search->setDefault(true);

    auto* filters = new QHBoxLayout;
    auto* table_label = new QLabel("&Tabela:", this);
    table_label->setBuddy(table_choice_);
    auto* code_label = new QLabel("Códi&go:", this);
    code_label->setBuddy(code_);
    filters->addWidget(table_label);
    filters->addWidget(table_choice_);
    filters->addWidget(code_label);
    filters->addWidget(code_, 1);
    filters->addWidget(search);

    SetUpReadOnlyTable(*rows_, "tblHistorico");
    summary_->setObjectName("lblResumo");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText("Fechar");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(rows_, 1);
    layout->addWidget(summary_);
    layout->addWidget(buttons);

    connect(search, &QPushButton::clicked, this, &DateHistoryDialog::Refresh);
    connect(table_choice_, &QComboBox::currentIndexChanged, this, &DateHistoryDialog::Refresh);
    resize(900, 420);
}

void DateHistoryDialog::Refresh() {
    const auto table = static_cast<HistoryTable>(table_choice_->currentData().toInt());
    const std::string code = code_->text().trimmed().toStdString();
    const bool loaded = RunServerQuery(*this, [&] { ShowDataSet(*rows_, client_.History(table, code)); });
    if (!loaded) {
        rows_->setRowCount(0);
        summary_->clear();
        return;
    }
    summary_->setText(rows_->rowCount() == DateAuditClient::kHistoryRowLimit
                          ? QString("As %1 alterações mais recentes.").arg(rows_->rowCount())
                          : QString("%1 alteração(ões).").arg(rows_->rowCount()));
}

}  // namespace host::desktop
