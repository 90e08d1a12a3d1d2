#pragma once
// The host's main window: an MDI frame with the invoicing menu, the status bar of the
// host's current values, and a window for every form of the control model it shows.
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "date_audit_client.h"
#include "desktop_host_services.h"
#include "host_session.h"
#include "host_settings.h"
#include "local_cache.h"

class QLabel;
class QMdiArea;
class QMdiSubWindow;

namespace host::desktop {

class DateDriftDialog;
class DateHistoryDialog;
class FormView;

class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    // Raises HostStartError when the module, the database or the server is not to be had.
    // The options the command line gave win over the settings; a saved database that does not
    // open gives way to the demo database. What could not be used is said once, by
    // ReportStartProblems, with `start_problems` (from loading the settings) first.
    MainWindow(const HostOptions& options, const HostSettings& settings, QStringList start_problems = {});
    ~MainWindow() override;

    HostSession& Session() { return *session_; }
    DesktopHostServices& Services() { return services_; }
    QMdiArea* MdiArea() const { return mdi_; }
    // Opens "Alterar Data de Emissão" as the menu does.
    void OpenIssueDateScreen();
    // The demo caller form "Emissão de Nota Fiscal".
    void OpenInvoiceForm();
    hostlib::TForm& InvoiceForm();
    void OpenSettings();
    // "Histórico de datas" and "Conferência de datas", each one window at a time, filled
    // from the server as they open.
    void OpenDateHistory();
    void OpenDateDrift();

    FormView* ViewOf(const hostlib::TForm& form) const;
    QMdiSubWindow* WindowOf(const hostlib::TForm& form) const;
    QWidget* DialogParent();
    void FormShown(hostlib::TForm& form);
    void FormClosed(hostlib::TForm& form);
    void RefreshLocalCache(const std::vector<std::string>& tables);
    // A message in the status bar, over the current values, for some seconds.
    void ShowStatusMessage(const QString& text);
    // The message shown now; empty when none is.
    QString StatusMessage() const;
    // The settings that could not be used at the start, in one box; nothing when all could.
    void ReportStartProblems();
    void RefreshStatusBar();
    const LocalCache& Cache() const { return *cache_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<HostSession> StartSession(const HostOptions& options);
    void BuildMenus();
    void BuildStatusBar();
    void ApplyWindowState(hostlib::TForm& form);
    // The form a sub-window shows; null for anything else, or for a form already closed.
    static hostlib::TForm* FormOf(QObject* window);
    template <class Dialog>
    void OpenAuditDialog(QPointer<Dialog>& dialog);
    void CloseScreensAndDialogs();

    DesktopHostServices services_;
    std::unique_ptr<HostSession> session_;
    std::unique_ptr<LocalCache> cache_;
    // Its own connection to the server, gone before the session whose values it reads.
    std::unique_ptr<DateAuditClient> audit_;
    QPointer<DateHistoryDialog> history_dialog_;
    QPointer<DateDriftDialog> drift_dialog_;
    HostSettings settings_;
    QStringList start_problems_;
    QMdiArea* mdi_;
    bool closing_ = false;  // in closeEvent: the forms close at once
    hostlib::TForm* invoice_form_ = nullptr;
    QLabel* status_message_ = nullptr;
    QLabel* status_values_ = nullptr;
    QTimer status_timer_;
    QLabel* status_server_ = nullptr;
};

}  // namespace host::desktop
