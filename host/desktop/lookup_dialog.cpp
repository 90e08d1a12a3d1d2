#include "lookup_dialog.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include "dataset_table.h"

namespace host::desktop {

LookupDialog::LookupDialog(const hostlib::LookupList& list, QWidget* parent)
    : QDialog(parent), filter_(new QLineEdit(this)), table_(new QTableWidget(this)) {
    setObjectName("LookupDialog");
    setWindowTitle(QString::fromStdString(list.title));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Digite para filtrar; Enter escolhe, Esc cancela.", this));
    filter_->setPlaceholderText("Filtrar");
    layout->addWidget(filter_);
    layout->addWidget(table_);

    table_->setColumnCount(static_cast<int>(list.columns.size()));
    QStringList headers;
    for (const auto& column : list.columns) headers << QString::fromStdString(column);
    table_->setHorizontalHeaderLabels(headers);
    table_->setRowCount(static_cast<int>(list.rows.size()));
    for (std::size_t r = 0; r < list.rows.size(); ++r) {
        for (std::size_t c = 0; c < list.rows[r].size() && c < list.columns.size(); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(list.rows[r][c]));
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            item->setData(Qt::UserRole, static_cast<qulonglong>(r));
            table_->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    }
    SetUpReadOnlyTable(*table_, "tblLista");
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->resizeColumnsToContents();
    if (!list.rows.empty()) table_->selectRow(0);
    resize(480, 320);

    connect(filter_, &QLineEdit::textChanged, this, &LookupDialog::Filter);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { ChooseCurrent(); });
    filter_->installEventFilter(this);
    table_->installEventFilter(this);
    filter_->setFocus();
}

void LookupDialog::Filter(const QString& text) {
    int first_visible = -1;
    for (int r = 0; r < table_->rowCount(); ++r) {
        bool match = text.isEmpty();
        for (int c = 0; c < table_->columnCount() && !match; ++c) {
            const auto* item = table_->item(r, c);
            match = item != nullptr && item->text().contains(text, Qt::CaseInsensitive);
        }
        table_->setRowHidden(r, !match);
        if (match && first_visible < 0) first_visible = r;
    }
    if (first_visible >= 0) table_->selectRow(first_visible);
}

void LookupDialog::ChooseVisibleRow(int visible_row) {
    for (int r = 0; r < table_->rowCount(); ++r) {
        if (table_->isRowHidden(r)) continue;
        if (visible_row-- == 0) {
            table_->selectRow(r);
            ChooseCurrent();
            return;
        }
    }
}

void LookupDialog::ChooseCurrent() {
    const int row = table_->currentRow();
    if (row < 0 || table_->isRowHidden(row) || table_->item(row, 0) == nullptr) return;
    choice_ = table_->item(row, 0)->data(Qt::UserRole).toULongLong();
    accept();
}

bool LookupDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            ChooseCurrent();
            return true;
        }
        if (watched == filter_ && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up)) {
            // The arrows move through the list while the filter keeps the typing.
            int row = table_->currentRow();
            const int step = key->key() == Qt::Key_Down ? 1 : -1;
            for (int r = row + step; r >= 0 && r < table_->rowCount(); r += step) {
                if (!table_->isRowHidden(r)) {
                    table_->selectRow(r);
                    break;
                }
            }
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace host::desktop
