#include "server_query.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>
#include <exception>

#include "core/exceptions.h"

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
    QString details;
    {
        WaitCursor wait;
        try {
            query();
            return true;
        } catch (const hostlib::Exception& e) {
            failure = QString::fromStdString(e.what());
            details = QString::fromStdString(e.Details());
        } catch (const std::exception& e) {
            failure = QString::fromStdString(e.what());
        }
    }
    QMessageBox box(QMessageBox::Warning, parent.windowTitle(), failure, QMessageBox::Ok, &parent);
    box.setEscapeButton(QMessageBox::Ok);
    if (!details.isEmpty()) box.setDetailedText(details);
    box.exec();
    return false;
}

}  // namespace host::desktop
