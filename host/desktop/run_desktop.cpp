#include "run_desktop.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPixmap>
#include <QMessageBox>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string_view>

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

namespace {

// Takes the picture of the first modal dialog that comes up and closes it; any later one is
// closed unseen, so that nothing waits for an answer nobody gives.
class ModalPicture : public QObject {
public:
    explicit ModalPicture(bool wanted) : wanted_(wanted) {
        connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
        timer_.start(20);
    }
    const std::optional<QPixmap>& Picture() const { return picture_; }

private:
    void Look() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        if (wanted_ && !picture_) {
            // Laid out and painted once before the picture.
            for (int i = 0; i < 5; ++i) QApplication::processEvents();
            picture_ = modal->grab();
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            QAbstractButton* answer = box->escapeButton() != nullptr ? box->escapeButton() : box->buttons().value(0);
            if (answer != nullptr) answer->click();
            else box->reject();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
    }
    bool wanted_;
    QTimer timer_;
    std::optional<QPixmap> picture_;
};

void Settle() {
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

// The screen's control `name`, for a move of the user's.
hostlib::TWinControl& ScreenControl(MainWindow& window, const char* name) {
    hostlib::TForm* screen = window.Session().Screen();
    auto* control = screen != nullptr ? screen->Find<hostlib::TWinControl>(name) : nullptr;
    if (control == nullptr) throw std::runtime_error(std::string("a tela não tem o campo ") + name);
    return *control;
}

// Types into the field `name` of the screen, its whole text replaced, as a user would.
void TypeInto(MainWindow& window, const char* name, std::string_view text) {
    hostlib::TWinControl& control = ScreenControl(window, name);
    hostlib::TForm& screen = *window.Session().Screen();
    screen.UserFocus(control);
    screen.UserSelectAll();
    for (const char ch : text) screen.UserKey(static_cast<unsigned char>(ch));
    Settle();
}

// A series of the demo company, left with Tab: its last date shown and the next proposed.
void FillSeries(MainWindow& window, std::string_view series = "1") {
    TypeInto(window, "edtCdSerie", series);
    window.Session().Screen()->UserTab(hostlib::TabDirection::Forward);
    Settle();
}

bool IsModalView(const std::string& view) {
    return view == "consulta" || view == "mensagem" || view == "configuracoes" || view == "ajuda";
}

// Brings the window to what `view` shows; what it shows in a modal dialog is taken by the
// ModalPicture already watching. Answers the picture of a view that is not modal.
std::optional<QPixmap> ShowView(MainWindow& window, const std::string& view) {
    window.OpenInvoiceForm();
    if (view == "chamadora") {
        hostlib::TForm& caller = window.InvoiceForm();
        auto* button = caller.Find<hostlib::TControl>("btnAlterarData");
        if (button == nullptr) throw std::runtime_error("a Emissão de Nota Fiscal não tem o botão de alterar a data");
        caller.UserClick(*button);
        Settle();
        // Series 5 takes the processing date: confirmed, it goes back to the invoice unstored.
        FillSeries(window, "5");
        hostlib::TForm& screen = *window.Session().Screen();
        auto* confirm = screen.Find<hostlib::TControl>("sbtConfirma");
        if (confirm == nullptr) throw std::runtime_error("a tela não tem o botão Confirmar");
        screen.UserClick(*confirm);
        Settle();
        return window.grab();
    }
    window.OpenIssueDateScreen();
    Settle();
    if (view == "tela") return window.grab();
    if (view == "preenchida") {
        FillSeries(window);
        return window.grab();
    }
    if (view == "consulta") {
        hostlib::TForm& screen = *window.Session().Screen();
        auto* button = screen.Find<hostlib::TControl>("btpSerie");
        if (button == nullptr) throw std::runtime_error("a tela não tem o botão de pesquisa de séries");
        screen.UserClick(*button);
    } else if (view == "mensagem") {
        FillSeries(window);
        TypeInto(window, "depProxDtEmiss", "01122023");
        hostlib::TForm& screen = *window.Session().Screen();
        auto* confirm = screen.Find<hostlib::TControl>("sbtConfirma");
        if (confirm == nullptr) throw std::runtime_error("a tela não tem o botão Confirmar");
        screen.UserClick(*confirm);
    } else if (view == "configuracoes") {
        window.OpenSettings();
    } else if (view == "ajuda") {
        auto* help = window.findChild<QAction*>("actionAjudaTela");
        if (help == nullptr) throw std::runtime_error("o menu Ajuda não tem a ajuda da tela");
        help->trigger();
    } else if (view == "historico" || view == "divergencias") {
        if (view == "historico") window.OpenDateHistory();
        else window.OpenDateDrift();
        Settle();
        auto* dialog = window.findChild<QDialog*>(view == "historico" ? "DateHistoryDialog" : "DateDriftDialog");
        if (dialog != nullptr && dialog->isVisible()) return dialog->grab();
    }
    return std::nullopt;
}

}  // namespace

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
    const std::string& view = options.screenshot_view;
    ModalPicture modal(IsModalView(view));
    std::optional<QPixmap> picture;
    try {
        picture = ShowView(*window, view);
    } catch (const std::exception& e) {
        std::cerr << "vor17000-host: a vista " << view << " não pôde ser mostrada: " << e.what() << std::endl;
        return 1;
    }
    if (!picture) picture = modal.Picture();
    if (!picture) {
        std::cerr << "vor17000-host: a vista " << view << " não apareceu" << std::endl;
        return 1;
    }
    if (!picture->save(QString::fromStdString(file.string()), "PNG")) {
        std::cerr << "vor17000-host: não foi possível gravar " << file << std::endl;
        return 1;
    }
    std::cout << "vor17000-host: imagem gravada em " << file.string() << std::endl;
    return 0;
}

}  // namespace host::desktop
