#pragma once
// The list of a lookup button: typing filters the rows, Enter or a double click chooses,
// Escape cancels.
#include <QDialog>
#include <optional>

#include "hostlib/host_services.h"

class QLineEdit;
class QTableWidget;

namespace host::desktop {

class LookupDialog : public QDialog {
    Q_OBJECT

public:
    LookupDialog(const hostlib::LookupList& list, QWidget* parent = nullptr);
    // The row chosen, as an index of the list given; nothing when cancelled.
    std::optional<std::size_t> Choice() const { return choice_; }
    // Filters the rows to those holding `text` in any column, ignoring case.
    void Filter(const QString& text);
    // Chooses the visible row `visible_row` (from 0) and closes the dialog.
    void ChooseVisibleRow(int visible_row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChooseCurrent();

    QLineEdit* filter_;
    QTableWidget* table_;
    std::optional<std::size_t> choice_;
};

}  // namespace host::desktop
