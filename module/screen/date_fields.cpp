// The weekday beside each date, kept in step on every change, and the check of the next
// issue date when the user leaves it.
#include "frmDataEmissao.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

using namespace hostlib;

void TfrmDataEmissao::depDtUltEmissChange(TObject&) {
    if (!TryStrToDateTime(depDtUltEmiss.Text())) {
        medDiaSem.Clear();
        return;
    }
    medDiaSem.SetText(NomeSemana(depDtUltEmiss.GetDate()));
}

void TfrmDataEmissao::depProxDtEmissChange(TObject&) {
    // Runs at every keystroke: a date not yet complete only empties the weekday.
    try {
        depProxDtEmiss.CheckValidDate();
        medProxDiaSem.SetText(NomeSemana(StrToDate(depProxDtEmiss.Text())));
    } catch (const EConvertError&) {
        medProxDiaSem.Clear();
    }
}

void TfrmDataEmissao::depProxDtEmissExit(TObject&) { depProxDtEmiss.CheckValidDate(); }

}  // namespace Cli_Vor17000
