#pragma once
// The narrow interface through which the host library reaches the host application for
// everything only a host can do: show things to the user and refresh its own state.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "hostlib/net/remote_argument.h"

namespace hostlib {

class TForm;

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
// The name a headless recording gives a dialog type.
constexpr const char* MsgDlgTypeName(TMsgDlgType type) {
    switch (type) {
        case TMsgDlgType::mtWarning:
            return "warning";
        case TMsgDlgType::mtError:
            return "error";
        case TMsgDlgType::mtInformation:
            return "information";
        case TMsgDlgType::mtConfirmation:
            return "confirmation";
        case TMsgDlgType::mtCustom:
            return "custom";
    }
    return "custom";
}

// Kinds of the wait animation; the values are the platform's.
enum class TShowAvi : int {
    Conectando = 0,
    Atualizando = 1,
    Gravando = 2,
    Excluindo = 3,
    Imprimindo = 4,
    Pesquisando = 5,
    Verificando = 6,
};

struct LookupList {
    std::string title;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

class HostServices {
public:
    virtual ~HostServices() = default;
    // MensErro's text.
    virtual void ShowError(const std::string& text) = 0;
    // An error that reached the general error handling: a sentence for the user, and what a
    // driver or the system said (may be empty), for a box's details.
    virtual void ShowException(const std::string& text, const std::string& details) = 0;
    // A modal message; returns the index of the button chosen.
    virtual int ShowAlert(const std::string& text, TMsgDlgType type, const std::vector<std::string>& buttons,
                          int help_context) = 0;
    virtual void ShowBusy(TForm* over, TShowAvi kind, const std::string& caption) = 0;
    virtual void HideBusy() = 0;
    // The row chosen (from 0), or nothing when the user cancelled.
    virtual std::optional<std::size_t> ChooseFromList(const LookupList& list) = 0;
    virtual void ShowEmptyList(const std::string& title, const std::string& text) = 0;
    virtual void RefreshLocalCache(const std::vector<std::string>& tables) = 0;
    // A form was hidden or freed by its close.
    virtual void FormClosed(TForm& form) = 0;
    // A form was shown or brought to the front; a windowed host gives it a window.
    virtual void FormShown(TForm& /*form*/) {}
    // The application server answered a call without an error: a host may tell the user what
    // was stored where.
    virtual void RemoteCallSucceeded(const std::string& /*method*/, const std::vector<RemoteArgument>& /*arguments*/) {
    }
};

}  // namespace hostlib
