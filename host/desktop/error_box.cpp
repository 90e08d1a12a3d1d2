#include "error_box.h"

#include <QMessageBox>

namespace host::desktop {

void ShowErrorBox(QWidget* parent, const QString& text, const QString& details) {
    QMessageBox box(QMessageBox::Critical, "Erro", text, QMessageBox::Ok, parent);
    box.setEscapeButton(QMessageBox::Ok);
    if (!details.isEmpty()) box.setDetailedText(details);
    box.exec();
}

}  // namespace host::desktop
