#include "server_query.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <exception>

namespace host::desktop {

namespace {

// The wait cursor for as long as the call lasts, however it ends.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

bool RunServerQuery(QWidget& parent, const std::function<void()>& query) {
    QString failure;
    {
        WaitCursor wait;
        try {
            query();
            return true;
        } catch (const std::exception& e) {
            failure = QString::fromStdString(e.what());
        }
    }
    QMessageBox::warning(&parent, parent.windowTitle(), failure);
    return false;
}

}  // namespace host::desktop
