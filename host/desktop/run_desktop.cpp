#include "run_desktop.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <iostream>

#include "main_window.h"

namespace host::desktop {

namespace {

std::unique_ptr<MainWindow> StartMainWindow(const HostOptions& options) {
    try {
        return std::make_unique<MainWindow>(options, HostSettings::Load(options.database_url.empty()));
    } catch (const HostStartError& e) {
        std::cerr << "vor17000-host: " << e.what() << std::endl;
        QMessageBox::critical(nullptr, "Faturamento", QString::fromStdString(e.what()));
        return nullptr;
    }
}

}  // namespace

int RunDesktop(int argc, char** argv, const HostOptions& options) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Faturamento");
    auto window = StartMainWindow(options);
    if (!window) return 1;
    window->show();
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
