#include "date_drift_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "data_emissao_contract.h"
#include "dataset_table.h"
#include "server_query.h"

namespace host::desktop {

namespace {

const QColor kWarningText(0xB0, 0x3A, 0x00);

}  // namespace

DateDriftDialog::DateDriftDialog(DateAuditClient& client, QWidget* parent)
    : QDialog(parent), client_(client), rows_(new QTableWidget(this)), summary_(new QLabel(this)) {
    setObjectName("DateDriftDialog");
    setWindowTitle("Conferência de datas");
    auto* intro = new QLabel(
        "Cada controle de numeração com a data da última emissão e a da última nota fiscal. "
        "Marcados: a última data de emissão é anterior ao dia da última nota, ou falta.",
        this);
    intro->setWordWrap(true);
    SetUpReadOnlyTable(*rows_, "tblDivergencias");
    summary_->setObjectName("lblResumo");

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText("Fechar");
    auto* refresh = buttons->addButton("&Atualizar", QDialogButtonBox::ActionRole);
    refresh->setObjectName("btnAtualizar");
    connect(refresh, &QPushButton::clicked, this, &DateDriftDialog::Refresh);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(rows_, 1);
    layout->addWidget(summary_);
    layout->addWidget(buttons);
    resize(640, 400);
}

void DateDriftDialog::Refresh() {
    if (!RunServerQuery(*this, [&] { ShowDataSet(*rows_, client_.Drift()); })) {
        rows_->setRowCount(0);
        summary_->clear();
        return;
    }
    const int drifting = MarkDrifting();
    summary_->setText(drifting == 0 ? QString("Nenhuma divergência.")
                                    : QString("%1 controle(s) com divergência.").arg(drifting));
}

int DateDriftDialog::MarkDrifting() {
    const int verdict = ColumnOfField(*rows_, "DSSITUACAO");
    if (verdict < 0) return 0;
    const QIcon warning = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    int drifting = 0;
    for (int r = 0; r < rows_->rowCount(); ++r) {
        const QTableWidgetItem* verdict_item = rows_->item(r, verdict);
        if (verdict_item == nullptr || verdict_item->text().toStdString() == vor17000::kVerdictOk) continue;
        ++drifting;
        for (int c = 0; c < rows_->columnCount(); ++c) {
            QTableWidgetItem* item = rows_->item(r, c);
            QFont font = item->font();
            font.setBold(true);
            item->setFont(font);
            item->setForeground(kWarningText);
        }
        rows_->item(r, verdict)->setIcon(warning);
    }
    rows_->resizeColumnsToContents();  // bold is wider
    return drifting;
}

}  // namespace host::desktop
