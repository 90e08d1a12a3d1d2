#include "help_viewer.h"

#include <QDialog>
#include <QFile>
#include <QMessageBox>
#include <QTextBrowser>
#include <QVBoxLayout>

// The help pages live in a static library's resources, which must be registered by hand.
static void RegisterHelpResources() { Q_INIT_RESOURCE(resources); }

namespace host::desktop {

QString HelpPage(const QString& help_file, int context) {
    if (help_file.compare("VorHelp.hlp", Qt::CaseInsensitive) == 0 && context == 10917000) {
        return kScreenHelpPage;
    }
    return {};
}

void ShowHelp(QWidget* parent, const QString& help_file, int context) {
    ShowHelpPage(parent, HelpPage(help_file, context));
}

void ShowHelpPage(QWidget* parent, const QString& page) {
    RegisterHelpResources();
    QFile file(page);
    if (page.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        QMessageBox::information(parent, "Ajuda", "Não há ajuda para esta tela.");
        return;
    }
    QDialog dialog(parent);
    dialog.setObjectName("HelpDialog");
    dialog.setWindowTitle("Ajuda");
    auto* layout = new QVBoxLayout(&dialog);
    auto* browser = new QTextBrowser(&dialog);
    browser->setHtml(QString::fromUtf8(file.readAll()));
    layout->addWidget(browser);
    dialog.resize(560, 480);
    dialog.exec();
}

}  // namespace host::desktop
