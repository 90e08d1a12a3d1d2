#include "hostlib/rotigeral.h"

namespace hostlib {

TfrmRotiGeral::TfrmRotiGeral(TComponent* owner, std::string name)
    : TForm(owner, std::move(name)),
      grbDadosRel(Create<TGroupBox>("grbDadosRel")),
      panMenu(Create<TPanel>("panMenu")),
      panBotoes(Create<TPanel>("panBotoes")),
      sbtConfirma(Create<TButtonFlat>("sbtConfirma")),
      lblCodTela(Create<TLabel>("lblCodTela")),
      msgPadrao(Create<TMessages>("msgPadrao")) {
    KeyPreview = true;
    FormStyle = TFormStyle::fsMDIChild;
    BorderStyle = TFormBorderStyle::bsSingle;

    grbDadosRel.SetParent(this);
    grbDadosRel.Bounds = {0, 0, 433, 189};
    grbDadosRel.Align = TAlign::alClient;
    grbDadosRel.FontBold = true;
    grbDadosRel.TabOrder = 0;

    panMenu.SetParent(this);
    panMenu.Bounds = {433, 0, 55, 189};
    panMenu.Align = TAlign::alRight;
    panMenu.TabOrder = 1;

    panBotoes.SetParent(&panMenu);
    panBotoes.Bounds = {0, 0, 55, 150};
    panBotoes.Align = TAlign::alClient;
    panBotoes.BevelOuter = false;

    sbtConfirma.SetParent(&panBotoes);
    sbtConfirma.Bounds = {2, 4, 51, 44};
    sbtConfirma.SetCaption("Confirmar");
    sbtConfirma.Hint = "Confirmar";

    lblCodTela.SetParent(&panMenu);
    lblCodTela.Bounds = {2, 168, 51, 13};

    OnCreate = [this](TObject& sender) { FormCreate(sender); };
    OnClose = [this](TObject& sender, TCloseAction& action) { FormClose(sender, action); };
    OnKeyPress = [this](TObject& sender, char32_t& key) { FormKeyPress(sender, key); };
}

void TfrmRotiGeral::FormCreate(TObject&) {}

void TfrmRotiGeral::FormClose(TObject&, TCloseAction& action) { action = TCloseAction::caFree; }

void TfrmRotiGeral::FormKeyPress(TObject&, char32_t&) {}

}  // namespace hostlib
