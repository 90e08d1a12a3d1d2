#pragma once
// The host library's services that screens call.
#include <string>
#include <string_view>
#include <vector>

#include "core/datetime.h"
#include "hostlib/host_services.h"

namespace hostlib {

class TForm;

// True when the text is empty or holds only blanks.
bool EmptyString(std::string_view text);
// Blanks trimmed; a shorter code is padded on the left with "0" up to `width`.
std::string Ajusta(std::string_view text, int width);
// "Domingo" ... "Sábado".
std::string NomeSemana(TDateTime date);

enum class AfterError { Abort, Return };
// Shows the text as an error; with AfterError::Abort it then ends the event (raises EAbort).
void MensErro(const std::string& text, AfterError after = AfterError::Abort);
// A modal message; returns the index of the button chosen.
int MsgAlert(const std::string& text, TMsgDlgType type, const std::vector<std::string>& buttons, int help_context);

void ActiveShowAvi(TForm* over, TShowAvi kind, const std::string& caption = "");
void DeactiveShowAvi();

// The wait animation for as long as the object lives: shown when it is made, hidden when the
// scope ends, a thrown error included.
class TWaitAnimation {
public:
    TWaitAnimation(TForm* over, TShowAvi kind, const std::string& caption = "");
    ~TWaitAnimation();
    TWaitAnimation(const TWaitAnimation&) = delete;
    TWaitAnimation& operator=(const TWaitAnimation&) = delete;
};

// The host's current values.
std::string EmprProc();
std::string IEstProc();
std::string IMunProc();
std::string FiliProc();
TDateTime DataProc(const std::string& branch);
std::string WebURL();
int WebPort();

void AtualizaLocalCache(const std::vector<std::string>& tables);

}  // namespace hostlib
