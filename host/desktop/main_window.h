#pragma once
// The host's main window: an MDI frame with the invoicing menu, the status bar of the
// host's current values, and a window for every form of the control model it shows.
#include <QMainWindow>
#include <QPointer>
#include <map>
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
    MainWindow(const HostOptions& options, const HostSettings& settings);
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
    void RefreshStatusBar();
    const LocalCache& Cache() const { return *cache_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildMenus();
    void BuildStatusBar();
    void ApplyWindowState(hostlib::TForm& form);

    DesktopHostServices services_;
    std::unique_ptr<HostSession> session_;
    std::unique_ptr<LocalCache> cache_;
    // Its own connection to the server, gone before the session whose values it reads.
    std::unique_ptr<DateAuditClient> audit_;
    QPointer<DateHistoryDialog> history_dialog_;
    QPointer<DateDriftDialog> drift_dialog_;
    HostSettings settings_;
    QMdiArea* mdi_;
    std::map<const hostlib::TForm*, QPointer<QMdiSubWindow>> windows_;
    hostlib::TForm* invoice_form_ = nullptr;
    QLabel* status_values_ = nullptr;
    QLabel* status_server_ = nullptr;
};

}  // namespace host::desktop
