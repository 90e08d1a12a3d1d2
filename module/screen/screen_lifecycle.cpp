// The screen's life: creation (connect, defaults from the host), activation, Escape,
// the connection's address, and the close.
#include "Cli_Vor17000.h"
#include "frmDataEmissao.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

using namespace hostlib;

void TfrmDataEmissao::FormCreate(TObject& sender) {
    TfrmRotiGeral::FormCreate(sender);
    boPrimVez = true;
    {
        TWaitAnimation connecting(frmDataEmissao, TShowAvi::Conectando);
        netDataEmissao.SetConnected(true);
    }

    depDtUltEmiss.Clear();
    depProxDtEmiss.Clear();
    medDiaSem.Clear();
    medProxDiaSem.Clear();

    // Top down, each validated before the next is set: every write empties those below it.
    medCdEmpresa.SetText(EmprProc());
    Vd_Empresa(false);
    medInscEstad.SetText(IEstProc());
    Vd_Inscricao(false);
    medInscMuni.SetText(IMunProc());
    Vd_InscMuni(false);
}

void TfrmDataEmissao::FormClose(TObject& sender, TCloseAction& action) {
    TfrmRotiGeral::FormClose(sender, action);
    boIdCriado = false;
    netDataEmissao.SetConnected(false);
}

void TfrmDataEmissao::FormActivate(TObject&) {
    SetWindowState(TWindowState::wsNormal);
    if (!EmptyString(medInscEstad.Text())) edtCdSerie.SetFocus();
}

void TfrmDataEmissao::FormKeyPress(TObject&, char32_t& key) {
    if (key == kKeyEscape) key = 0;
}

void TfrmDataEmissao::netDataEmissaoBeforeConnect(TObject&) {
    netDataEmissao.Host = WebURL();
    netDataEmissao.Port = WebPort();
}

}  // namespace Cli_Vor17000
