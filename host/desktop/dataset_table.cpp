#include "dataset_table.h"

#include <QHeaderView>
#include <QTableWidget>

namespace host::desktop {

namespace {

QString CellText(const hostlib::FieldValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return QString::fromStdString(*text);
    if (const auto* date = std::get_if<hostlib::TDateTime>(&value)) {
        // Always with the time: a store at midnight reads the same as any other.
        return QString::fromStdString(hostlib::DateToStr(*date) + " " + hostlib::TimeToStr(*date));
    }
    return {};
}

}  // namespace

void SetUpReadOnlyTable(QTableWidget& table, const char* name) {
    table.setObjectName(name);
    table.setSelectionBehavior(QAbstractItemView::SelectRows);
    table.setEditTriggers(QAbstractItemView::NoEditTriggers);
    table.verticalHeader()->hide();
    table.horizontalHeader()->setStretchLastSection(true);
}

void ShowDataSet(QTableWidget& table, const hostlib::TDataSet& dataset) {
    std::vector<std::size_t> shown;
    QStringList headers;
    for (std::size_t f = 0; f < dataset.FieldDefs.size(); ++f) {
        const auto& def = dataset.FieldDefs[f];
        if (!def.Visible) continue;
        shown.push_back(f);
        headers << QString::fromStdString(def.DisplayLabel.empty() ? def.Name : def.DisplayLabel);
    }
    table.clear();
    table.setColumnCount(static_cast<int>(shown.size()));
    table.setHorizontalHeaderLabels(headers);
    for (int c = 0; c < table.columnCount(); ++c) {
        table.horizontalHeaderItem(c)->setData(Qt::UserRole, QString::fromStdString(dataset.FieldDefs[shown[c]].Name));
    }
    const auto& rows = dataset.Rows();
    table.setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < shown.size(); ++c) {
            auto* item = new QTableWidgetItem(shown[c] < rows[r].size() ? CellText(rows[r][shown[c]]) : QString());
            item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            table.setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    }
    table.resizeColumnsToContents();
}

int ColumnOfField(const QTableWidget& table, const QString& field_name) {
    for (int c = 0; c < table.columnCount(); ++c) {
        const auto* header = table.horizontalHeaderItem(c);
        if (header != nullptr && header->data(Qt::UserRole).toString() == field_name) return c;
    }
    return -1;
}

}  // namespace host::desktop
