#pragma once
// A dataset from the server shown in a read-only table: its visible fields under their
// display labels, dates as "dd/mm/yyyy hh:mm:ss".
#include <QString>

#include "hostlib/db/dataset.h"

class QTableWidget;

namespace host::desktop {

// A table of whole rows to read, not to edit, named `name` (tests find it by that name).
void SetUpReadOnlyTable(QTableWidget& table, const char* name);
void ShowDataSet(QTableWidget& table, const hostlib::TDataSet& dataset);
// The column of `table` under the field of that name, or -1.
int ColumnOfField(const QTableWidget& table, const QString& field_name);

}  // namespace host::desktop
