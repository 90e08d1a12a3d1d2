#pragma once
// What the host library asks of the host, shown with Qt: message boxes, the wait
// animation, the lookup list, the local cache and the windows of the forms.
#include <QPointer>
#include <QString>

#include "hostlib/host_services.h"

namespace host::desktop {

class MainWindow;
class BusyOverlay;

class DesktopHostServices : public hostlib::HostServices {
public:
    explicit DesktopHostServices(MainWindow& window) : window_(window) {}

    void ShowError(const std::string& text) override;
    void ShowException(const std::string& text, const std::string& details) override;
    int ShowAlert(const std::string& text, hostlib::TMsgDlgType type, const std::vector<std::string>& buttons,
                  int help_context) override;
    void ShowBusy(hostlib::TForm* over, hostlib::TShowAvi kind, const std::string& caption) override;
    void HideBusy() override;
    std::optional<std::size_t> ChooseFromList(const hostlib::LookupList& list) override;
    void ShowEmptyList(const std::string& title, const std::string& text) override;
    void RefreshLocalCache(const std::vector<std::string>& tables) override;
    void FormClosed(hostlib::TForm& form) override;
    void FormShown(hostlib::TForm& form) override;
    void RemoteCallSucceeded(const std::string& method, const std::vector<hostlib::RemoteArgument>& arguments) override;

    // The caption of the wait animation on show, or empty when none is showing.
    QString BusyCaption() const;

private:
    MainWindow& window_;
    QPointer<BusyOverlay> busy_;
};

}  // namespace host::desktop
