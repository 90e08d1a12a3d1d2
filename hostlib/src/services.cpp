#include "hostlib/services.h"

#include "core/ascii_text.h"
#include "hostlib/application.h"
#include "core/exceptions.h"

namespace hostlib {

bool EmptyString(std::string_view text) { return IsBlank(text, " \t"); }

std::string Ajusta(std::string_view text, int width) {
    std::string code(TrimmedBlanks(text, kSpaces));
    if (width > 0 && code.size() < static_cast<std::size_t>(width)) {
        code.insert(0, static_cast<std::size_t>(width) - code.size(), '0');
    }
    return code;
}

std::string NomeSemana(TDateTime date) {
    static const char* const kNames[] = {"Domingo",      "Segunda-feira", "Terça-feira", "Quarta-feira",
                                         "Quinta-feira", "Sexta-feira",   "Sábado"};
    return kNames[DayOfWeek(date) - 1];
}

void MensErro(const std::string& text, AfterError after) {
    Application().Host().ShowError(text);
    if (after == AfterError::Abort) throw EAbort();
}

int MsgAlert(const std::string& text, TMsgDlgType type, const std::vector<std::string>& buttons, int help_context) {
    return Application().Host().ShowAlert(text, type, buttons, help_context);
}

void ActiveShowAvi(TForm* over, TShowAvi kind, const std::string& caption) {
    Application().Host().ShowBusy(over, kind, caption);
}

void DeactiveShowAvi() { Application().Host().HideBusy(); }

TWaitAnimation::TWaitAnimation(TForm* over, TShowAvi kind, const std::string& caption) {
    ActiveShowAvi(over, kind, caption);
}

TWaitAnimation::~TWaitAnimation() {
    try {
        DeactiveShowAvi();
    } catch (...) {
        // A host that cannot hide its animation is no reason to lose the error being thrown.
    }
}

std::string EmprProc() { return Application().Values().EmprProc; }
std::string IEstProc() { return Application().Values().IEstProc; }
std::string IMunProc() { return Application().Values().IMunProc; }
std::string FiliProc() { return Application().Values().FiliProc; }

TDateTime DataProc(const std::string& branch) {
    const auto& dates = Application().Values().DataProc;
    auto it = dates.find(branch);
    return it == dates.end() ? Today() : it->second;
}

std::string WebURL() { return Application().Values().WebURL; }
int WebPort() { return Application().Values().WebPort; }

void AtualizaLocalCache(const std::vector<std::string>& tables) { Application().Host().RefreshLocalCache(tables); }

}  // namespace hostlib
