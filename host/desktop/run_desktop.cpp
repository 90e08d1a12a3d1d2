#include "run_desktop.h"

#include <QApplication>
#include <QMessageBox>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstdlib>
#include <iostream>

#include "error_box.h"
#include "main_window.h"

namespace host::desktop {

namespace {

// Qt's own texts (the buttons of a message box, "Mostrar Detalhes...") in Portuguese.
void InstallTranslations(QApplication& application) {
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::Portuguese, QLocale::Brazil), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(translator);
    }
}

std::unique_ptr<MainWindow> StartMainWindow(const HostOptions& options) {
    try {
        QStringList problems;
        HostSettings settings = HostSettings::Load(options.database_url.empty(), problems);
        return std::make_unique<MainWindow>(options, settings, problems);
    } catch (const HostStartError& e) {
        std::cerr << "vor17000-host: " << e.what();
        if (!e.Details().empty()) std::cerr << " (" << e.Details() << ")";
        std::cerr << std::endl;
        ShowErrorBox(nullptr, QString::fromStdString(e.what()), QString::fromStdString(e.Details()));
        return nullptr;
    }
}

}  // namespace

int RunDesktop(int argc, char** argv, const HostOptions& options) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Faturamento");
    InstallTranslations(application);
    auto window = StartMainWindow(options);
    if (!window) return 1;
    window->show();
    window->ReportStartProblems();
    // The host exists for this screen: it opens at once.
    window->OpenIssueDateScreen();
    return QApplication::exec();
}

int SaveScreenshot(int argc, char** argv, const HostOptions& options, const std::filesystem::path& file) {
    // Without a display there is still a screenshot to take.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    QApplication application(argc, argv);
    InstallTranslations(application);
    auto window = StartMainWindow(options);
    if (!window) return 1;
    window->show();
    window->OpenInvoiceForm();
    window->OpenIssueDateScreen();
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
    if (!window->grab().save(QString::fromStdString(file.string()), "PNG")) {
        std::cerr << "vor17000-host: não foi possível gravar " << file << std::endl;
        return 1;
    }
    std::cout << "vor17000-host: imagem gravada em " << file.string() << std::endl;
    return 0;
}

}  // namespace host::desktop
