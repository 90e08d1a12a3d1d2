#include "desktop_host_services.h"

#include <QMessageBox>
#include <QPushButton>

#include "busy_overlay.h"
#include "error_box.h"
#include "form_view.h"
#include "lookup_dialog.h"
#include "main_window.h"
#include "stored_date_message.h"

namespace host::desktop {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

QString DefaultCaption(hostlib::TShowAvi kind) {
    switch (kind) {
        case hostlib::TShowAvi::Conectando:
            return "Conectando ao servidor de aplicação...";
        case hostlib::TShowAvi::Atualizando:
            return "Atualizando...";
        case hostlib::TShowAvi::Verificando:
            return "Verificando...";
        default:
            return "Aguarde...";
    }
}

}  // namespace

// MensErro's text is an error box without details.
void DesktopHostServices::ShowError(const std::string& text) { ShowException(text, {}); }

void DesktopHostServices::ShowException(const std::string& text, const std::string& details) {
    ShowErrorBox(window_.DialogParent(), Text(text), Text(details));
}

int DesktopHostServices::ShowAlert(const std::string& text, hostlib::TMsgDlgType type,
                                   const std::vector<std::string>& buttons, int) {
    QMessageBox box(window_.DialogParent());
    switch (type) {
        case hostlib::TMsgDlgType::mtWarning:
            box.setIcon(QMessageBox::Warning);
            box.setWindowTitle("Aviso");
            break;
        case hostlib::TMsgDlgType::mtError:
            box.setIcon(QMessageBox::Critical);
            box.setWindowTitle("Erro");
            break;
        case hostlib::TMsgDlgType::mtConfirmation:
            box.setIcon(QMessageBox::Question);
            box.setWindowTitle("Confirmação");
            break;
        default:
            box.setIcon(QMessageBox::Information);
            box.setWindowTitle("Informação");
            break;
    }
    box.setText(Text(text));
    std::vector<QAbstractButton*> added;
    for (const auto& caption : buttons) added.push_back(box.addButton(Text(caption), QMessageBox::AcceptRole));
    if (added.empty()) added.push_back(box.addButton("OK", QMessageBox::AcceptRole));
    box.exec();
    for (std::size_t i = 0; i < added.size(); ++i) {
        if (box.clickedButton() == added[i]) return static_cast<int>(i);
    }
    return 0;
}

void DesktopHostServices::ShowBusy(hostlib::TForm* over, hostlib::TShowAvi kind, const std::string& caption) {
    HideBusy();
    QWidget* target = over != nullptr ? window_.ViewOf(*over) : nullptr;
    if (target == nullptr) target = window_.centralWidget();
    busy_ = new BusyOverlay(target);
    busy_->Show(caption.empty() ? DefaultCaption(kind) : Text(caption));
}

void DesktopHostServices::HideBusy() {
    if (busy_) busy_->deleteLater();
    if (busy_) busy_->hide();
    busy_ = nullptr;
}

QString DesktopHostServices::BusyCaption() const { return busy_ ? busy_->Caption() : QString(); }

std::optional<std::size_t> DesktopHostServices::ChooseFromList(const hostlib::LookupList& list) {
    LookupDialog dialog(list, window_.DialogParent());
    dialog.exec();
    return dialog.Choice();
}

void DesktopHostServices::ShowEmptyList(const std::string& title, const std::string& text) {
    QMessageBox::information(window_.DialogParent(), Text(title), Text(text));
}

void DesktopHostServices::RefreshLocalCache(const std::vector<std::string>& tables) {
    window_.RefreshLocalCache(tables);
}

void DesktopHostServices::FormClosed(hostlib::TForm& form) { window_.FormClosed(form); }

void DesktopHostServices::FormShown(hostlib::TForm& form) { window_.FormShown(form); }

void DesktopHostServices::RemoteCallSucceeded(const std::string& method,
                                              const std::vector<hostlib::RemoteArgument>& arguments) {
    if (const auto message = StoredDateMessage(method, arguments)) window_.ShowStatusMessage(Text(*message));
}

}  // namespace host::desktop
