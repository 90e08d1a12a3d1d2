#include "main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include "date_drift_dialog.h"
#include "date_history_dialog.h"
#include "form_view.h"
#include "help_viewer.h"
#include "hostlib/services.h"
#include "settings_dialog.h"

namespace host::desktop {

namespace {

// How long a message of the status bar stays, at least, before the current values return.
constexpr int kStatusMessageMilliseconds = 8000;

}  // namespace

MainWindow::MainWindow(const HostOptions& options, const HostSettings& settings, QStringList start_problems)
    : services_(*this), settings_(settings), start_problems_(std::move(start_problems)), mdi_(new QMdiArea(this)) {
    setObjectName("MainWindow");
    setWindowTitle("Faturamento");
    setCentralWidget(mdi_);
    session_ = StartSession(options);
    cache_ = std::make_unique<LocalCache>(session_->Application().DataModule());
    audit_ = std::make_unique<DateAuditClient>(session_->Application());
    settings_.ApplyTo(session_->Application().Values());
    // The main window's activation handler, which a confirmation also runs.
    session_->MainForm().OnActivate = [this](hostlib::TObject&) { RefreshStatusBar(); };
    // The user coming back to a form's window activates the form (its OnActivate runs).
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* activated) {
        hostlib::TForm* form = FormOf(activated);
        if (form != nullptr && session_->Application().Owns(form)) session_->Application().ActivateForm(*form);
    });
    BuildMenus();
    BuildStatusBar();
    RefreshStatusBar();
    resize(960, 640);
}

MainWindow::~MainWindow() {
    // A window never closed (a test's, or one the program drops) still lets its screen go first.
    CloseScreensAndDialogs();
    // The sub-windows die with the base QWidget, after the session: nothing they signal may
    // reach this window's handlers by then.
    mdi_->disconnect(this);
    for (QMdiSubWindow* window : mdi_->subWindowList()) {
        window->removeEventFilter(this);
        window->disconnect(this);
        if (auto* view = qobject_cast<FormView*>(window->widget())) {
            view->disconnect(this);
            view->Detach();
        }
    }
}

void MainWindow::CloseScreensAndDialogs() {
    // The dialogs would otherwise outlive the connection they use, as children of this window.
    delete history_dialog_.data();
    delete drift_dialog_.data();
    session_->CloseScreen();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Each form decides on its own close, at once, and may refuse: then the window stays.
    closing_ = true;
    mdi_->closeAllSubWindows();
    closing_ = false;
    for (QMdiSubWindow* window : mdi_->subWindowList()) {
        if (FormOf(window) != nullptr) {
            event->ignore();
            return;
        }
    }
    CloseScreensAndDialogs();
    QMainWindow::closeEvent(event);
}

void MainWindow::BuildMenus() {
    auto* open_screen =
        new QAction(style()->standardIcon(QStyle::SP_FileDialogDetailedView), "Alterar &Data de Emissão", this);
    open_screen->setObjectName("actionAlterarDataEmissao");
    open_screen->setShortcut(QKeySequence("Ctrl+D"));
    open_screen->setToolTip("Alterar Data de Emissão (VOR17000)");
    connect(open_screen, &QAction::triggered, this, &MainWindow::OpenIssueDateScreen);

    auto* open_invoice = new QAction(style()->standardIcon(QStyle::SP_FileIcon), "&Emissão de Nota Fiscal", this);
    open_invoice->setObjectName("actionEmissaoNotaFiscal");
    open_invoice->setShortcut(QKeySequence("Ctrl+N"));
    connect(open_invoice, &QAction::triggered, this, &MainWindow::OpenInvoiceForm);

    auto* history = new QAction("&Histórico de datas...", this);
    history->setObjectName("actionHistoricoDatas");
    history->setToolTip("Quem alterou cada data de emissão, e quando");
    connect(history, &QAction::triggered, this, &MainWindow::OpenDateHistory);

    auto* drift = new QAction(style()->standardIcon(QStyle::SP_MessageBoxWarning), "&Conferência de datas...", this);
    drift->setObjectName("actionConferenciaDatas");
    drift->setToolTip("Controles de numeração com a data de emissão atrás da última nota fiscal");
    connect(drift, &QAction::triggered, this, &MainWindow::OpenDateDrift);

    auto* settings = new QAction("&Configurações...", this);
    settings->setObjectName("actionConfiguracoes");
    connect(settings, &QAction::triggered, this, &MainWindow::OpenSettings);

    auto* quit = new QAction("&Sair", this);
    quit->setShortcut(QKeySequence("Ctrl+Q"));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    // The screen's help, also where the screen is not open (F1 inside it).
    auto* screen_help = new QAction("&Ajuda de Alterar Data de Emissão\tF1", this);
    screen_help->setObjectName("actionAjudaTela");
    connect(screen_help, &QAction::triggered, this, [this] { ShowHelpPage(this, kScreenHelpPage); });

    auto* about = new QAction("&Sobre", this);
    connect(about, &QAction::triggered, this,
            [this] { QMessageBox::about(this, "Sobre", "Faturamento — Alterar Data de Emissão (VOR17000)."); });

    QMenu* file = menuBar()->addMenu("&Arquivo");
    file->addAction(settings);
    file->addSeparator();
    file->addAction(quit);
    QMenu* invoicing = menuBar()->addMenu("&Faturamento");
    invoicing->addAction(open_invoice);
    invoicing->addAction(open_screen);
    invoicing->addSeparator();
    invoicing->addAction(history);
    invoicing->addAction(drift);
    QMenu* windows = menuBar()->addMenu("&Janelas");
    windows->addAction("&Cascata", mdi_, &QMdiArea::cascadeSubWindows);
    windows->addAction("&Lado a lado", mdi_, &QMdiArea::tileSubWindows);
    QMenu* help = menuBar()->addMenu("Aj&uda");
    help->addAction(screen_help);
    help->addSeparator();
    help->addAction(about);

    QToolBar* toolbar = addToolBar("Faturamento");
    toolbar->setObjectName("toolbarFaturamento");
    toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolbar->addAction(open_invoice);
    toolbar->addAction(open_screen);
}

std::unique_ptr<HostSession> MainWindow::StartSession(const HostOptions& options) {
    HostOptions merged = settings_.Merged(options);
    try {
        return std::make_unique<HostSession>(merged, services_);
    } catch (const HostStartError& e) {
        // A saved database that no longer opens must not keep the program from starting.
        if (e.Step() != HostStartStep::Database || options.given.database || merged.database_url.empty()) throw;
        start_problems_ << QString("O banco de dados das configurações ('%1') não pôde ser aberto: %2 "
                                   "Usando o banco de demonstração.")
                               .arg(settings_.database, QString::fromStdString(e.what()));
        merged.database_url.clear();
        return std::make_unique<HostSession>(merged, services_);
    }
}

void MainWindow::ReportStartProblems() {
    if (start_problems_.isEmpty()) return;
    const QStringList problems = std::exchange(start_problems_, {});
    QMessageBox box(QMessageBox::Warning, "Configurações", problems.join("\n\n"), QMessageBox::Ok, this);
    box.setInformativeText("Corrija em Arquivo > Configurações.");
    box.exec();
}

void MainWindow::BuildStatusBar() {
    // A message covers the current values for a while, then they come back.
    status_message_ = new QLabel(this);
    status_message_->setObjectName("lblMensagemStatus");
    status_message_->setStyleSheet("QLabel { font-weight: bold; color: #0b5d1e; background: #dff3e4; padding: 0 6px; }");
    status_message_->hide();
    status_values_ = new QLabel(this);
    status_server_ = new QLabel(this);
    statusBar()->addWidget(status_message_, 1);
    statusBar()->addWidget(status_values_, 1);
    statusBar()->addPermanentWidget(status_server_);
    status_timer_.setSingleShot(true);
    connect(&status_timer_, &QTimer::timeout, this, [this] {
        status_message_->hide();
        status_values_->show();
    });
}

void MainWindow::ShowStatusMessage(const QString& text) {
    status_message_->setText(text);
    status_values_->hide();
    status_message_->show();
    status_timer_.start(kStatusMessageMilliseconds);
}

QString MainWindow::StatusMessage() const { return status_message_->isVisible() ? status_message_->text() : QString(); }

void MainWindow::RefreshStatusBar() {
    auto& values = session_->Application().Values();
    const auto show = [](const std::string& text) {
        return text.empty() ? QString("—") : QString::fromStdString(text);
    };
    status_values_->setText(QString("Empresa: %1 | IE: %2 | IM: %3 | Filial: %4 | Data de processamento: %5")
                                .arg(show(values.EmprProc), show(values.IEstProc), show(values.IMunProc),
                                     show(values.FiliProc),
                                     QString::fromStdString(hostlib::DateToStr(hostlib::DataProc(values.FiliProc)))));
    status_server_->setText("Servidor: " + QString::fromStdString(session_->ServerDescription()));
}

void MainWindow::OpenIssueDateScreen() { session_->CallIniProc(hostlib::Variant::Null()); }

hostlib::TForm& MainWindow::InvoiceForm() {
    if (invoice_form_ != nullptr) return *invoice_form_;
    hostlib::TForm& form = session_->CreateCallerForm("frmEmissaoNF");
    form.FormStyle = hostlib::TFormStyle::fsMDIChild;
    form.BorderStyle = hostlib::TFormBorderStyle::bsSingle;
    form.SetCaption("Emissão de Nota Fiscal");
    form.ClientWidth = 380;
    form.ClientHeight = 110;
    auto& caption = form.Create<hostlib::TLabel>("lblCaptionData");
    caption.SetParent(&form);
    caption.SetCaption("Data de emissão:");
    caption.Bounds = {16, 20, 120, 16};
    auto* label = form.Find<hostlib::TLabel>("lblDtEmissao");
    label->SetCaption("");
    label->FontBold = true;
    label->Bounds = {140, 20, 200, 16};
    auto& button = form.Create<hostlib::TButtonFlat>("btnAlterarData");
    button.SetParent(&form);
    button.SetCaption("Alterar data de emissão...");
    button.Bounds = {16, 52, 220, 44};
    button.OnClick = [this, &form](hostlib::TObject&) {
        const auto handle = static_cast<std::int32_t>(session_->Application().HandleOf(form));
        session_->CallIniProc(hostlib::Variant::Array({true, handle}));
    };
    form.OnClose = [](hostlib::TObject&, hostlib::TCloseAction& action) { action = hostlib::TCloseAction::caHide; };
    invoice_form_ = &form;
    return form;
}

void MainWindow::OpenInvoiceForm() { InvoiceForm().Show(); }

void MainWindow::OpenSettings() {
    SettingsDialog dialog(settings_, this);
    if (dialog.exec() != QDialog::Accepted) return;
    settings_ = dialog.Settings();
    settings_.Save();
    settings_.ApplyTo(session_->Application().Values());
    RefreshStatusBar();
}

template <class Dialog>
void MainWindow::OpenAuditDialog(QPointer<Dialog>& dialog) {
    if (dialog == nullptr) dialog = new Dialog(*audit_, this);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    dialog->Refresh();
}

void MainWindow::OpenDateHistory() { OpenAuditDialog(history_dialog_); }

void MainWindow::OpenDateDrift() { OpenAuditDialog(drift_dialog_); }

FormView* MainWindow::ViewOf(const hostlib::TForm& form) const {
    QMdiSubWindow* window = WindowOf(form);
    return window != nullptr ? qobject_cast<FormView*>(window->widget()) : nullptr;
}

QMdiSubWindow* MainWindow::WindowOf(const hostlib::TForm& form) const {
    for (QMdiSubWindow* window : mdi_->subWindowList()) {
        if (FormOf(window) == &form) return window;
    }
    return nullptr;
}

hostlib::TForm* MainWindow::FormOf(QObject* window) {
    auto* sub_window = qobject_cast<QMdiSubWindow*>(window);
    auto* view = sub_window != nullptr ? qobject_cast<FormView*>(sub_window->widget()) : nullptr;
    // A closed form's view is detached and shows no form while its window waits to be deleted.
    return view != nullptr ? view->Form() : nullptr;
}

QWidget* MainWindow::DialogParent() {
    QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr ? modal : this;
}

void MainWindow::FormShown(hostlib::TForm& form) {
    if (&form == &session_->MainForm()) return;
    QMdiSubWindow* window = WindowOf(form);
    if (window == nullptr) {
        auto* view = new FormView(form, [this](const hostlib::TForm& f) {
            ShowHelp(this, QString::fromStdString(f.HelpFile), f.HelpContext);
        });
        // A single, fixed border: the screen is not resized or maximised. The close button
        // is drawn only with the system menu, whose Close also answers Ctrl+F4.
        window = mdi_->addSubWindow(view, Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                              Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                              Qt::WindowCloseButtonHint);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        // Ctrl+F4 closes the screen on every platform: X11's own keys for Close are Ctrl+W only.
        const QList<QKeySequence> close_keys = QKeySequence::keyBindings(QKeySequence::Close);
        const QKeySequence ctrl_f4(Qt::CTRL | Qt::Key_F4);
        for (QAction* action : window->systemMenu() != nullptr ? window->systemMenu()->actions() : QList<QAction*>{}) {
            if (!close_keys.isEmpty() && action->shortcuts() == close_keys && !close_keys.contains(ctrl_f4)) {
                action->setShortcuts(close_keys + QList<QKeySequence>{ctrl_f4});
            }
        }
        // The user minimising or restoring the window is the form's window state too, so that
        // the next open restores it.
        connect(window, &QMdiSubWindow::windowStateChanged, this,
                [this, &form](Qt::WindowStates, Qt::WindowStates now) {
                    if (!session_->Application().Owns(&form)) return;
                    form.SetWindowState((now & Qt::WindowMinimized) ? hostlib::TWindowState::wsMinimized
                                                                     : hostlib::TWindowState::wsNormal);
                });
        window->setWindowTitle(QString::fromStdString(form.Caption()));
        window->setObjectName(QString::fromStdString(form.Name()));
        window->installEventFilter(this);
        window->adjustSize();
        window->setFixedSize(window->size());
        connect(view, &FormView::formChanged, this, [this, &form] { ApplyWindowState(form); });
    }
    window->show();
    ApplyWindowState(form);
    mdi_->setActiveSubWindow(window);
    window->raise();
    if (auto* view = ViewOf(form)) QTimer::singleShot(0, view, [view] { view->SyncFocus(); });
}

void MainWindow::ApplyWindowState(hostlib::TForm& form) {
    QMdiSubWindow* window = WindowOf(form);
    if (window == nullptr) return;
    window->setWindowTitle(QString::fromStdString(form.Caption()));
    if (form.WindowState() == hostlib::TWindowState::wsMinimized) {
        window->showMinimized();
    } else if (window->isMinimized()) {
        window->showNormal();
    }
}

void MainWindow::FormClosed(hostlib::TForm& form) {
    if (QMdiSubWindow* window = WindowOf(form)) {
        if (auto* view = qobject_cast<FormView*>(window->widget())) view->Detach();
        window->removeEventFilter(this);
        window->hide();
        window->deleteLater();
    }
    // A freed form goes once the event that closed it has finished.
    QTimer::singleShot(0, this, [this] { session_->Application().ProcessReleases(); });
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Close) {
        // The window's close button is the user's close of the form: the form decides.
        if (hostlib::TForm* target = FormOf(watched)) {
            event->ignore();
            if (closing_) {
                // This window is closing and must know now whether the form went.
                target->UserClose();
            } else {
                QTimer::singleShot(0, this, [this, target] {
                    if (session_->Application().Owns(target)) target->UserClose();
                });
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::RefreshLocalCache(const std::vector<std::string>& tables) {
    QStringList names;
    for (const auto& table : cache_->Refresh(tables)) {
        names << QString("%1 (%2 linhas)").arg(QString::fromStdString(table)).arg(cache_->RowCount(table));
    }
    if (names.isEmpty()) return;
    // After a store, the store's message comes first.
    const QString refreshed = "Cópia local atualizada: " + names.join(", ") + ".";
    const QString shown = StatusMessage();
    ShowStatusMessage(shown.isEmpty() ? refreshed : shown + " " + refreshed);
}

}  // namespace host::desktop
