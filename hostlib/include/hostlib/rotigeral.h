#pragma once
// The base of every routine screen: the frame (screen code, data group box, button panel
// with the confirm button), the message table, and the create / close / key-press
// handlers that a screen overrides and calls first.
#include <string>

#include "hostlib/controls.h"
#include "hostlib/form.h"
#include "hostlib/messages.h"

namespace hostlib {

class TfrmRotiGeral : public TForm {
public:
    TfrmRotiGeral(TComponent* owner, std::string name);

    virtual void FormCreate(TObject& sender);
    // Frees the screen when it closes.
    virtual void FormClose(TObject& sender, TCloseAction& action);
    virtual void FormKeyPress(TObject& sender, char32_t& key);

    TGroupBox& grbDadosRel;
    TPanel& panMenu;
    TPanel& panBotoes;
    TButtonFlat& sbtConfirma;
    TLabel& lblCodTela;
    TMessages& msgPadrao;
};

}  // namespace hostlib
