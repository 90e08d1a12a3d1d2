// The issue location of a series numbered per location: validation against the database
// and, in the screen's first pass, the dates proposed from the location.
#include "Cli_Vor17000.h"
#include "frmDataEmissao.h"
#include "guard.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

using namespace hostlib;

void TfrmDataEmissao::Vd_LocalEmiss(bool required) {
    GuardFocus(edtCdLocal, [&] {
        if (EmptyString(edtCdLocal.Text())) {
            if (required) MensErro(msgPadrao.Msg("Local_Inf"));
            return;
        }
        if (required && ActiveControl() != &edtCdLocal) return;
        edtCdLocal.SetText(Ajusta(edtCdLocal.Text(), 4));
        qryVdLocalEmiss.Close();
        qryVdLocalEmiss.ParamByName("P_CDLOCALEMIS").SetValue(edtCdLocal.Text());
        qryVdLocalEmiss.Open();
        if (qryVdLocalEmiss.IsEmpty()) MensErro(msgPadrao.Msg("Local_Inv"));
        edtDsLocal.SetText(qryVdLocalEmiss.FieldByName("DSLOCALEMIS").AsString());
        // After a confirmation has begun, the dates are the user's: only the code is checked.
        if (!boPrimVez) return;

        const TField last = qryVdLocalEmiss.FieldByName("DTULTEMISLCE");
        if (!last.IsNull() && !UsesProcessingDate()) {
            ProposeDayAfter(last.AsDateTime());
            return;
        }
        if (last.IsNull()) {
            depDtUltEmiss.Clear();
            if (!UsesProcessingDate()) {
                ProposeLatestInvoiceDay();
                return;
            }
            LoadMaxData();  // asked for, though the processing date wins
        }
        ProposeProcessingDate(LockedDateAlert::Shown);
    });
}

void TfrmDataEmissao::edtCdLocalChange(TObject&) { edtDsLocal.Clear(); }

void TfrmDataEmissao::edtCdLocalExit(TObject&) { Vd_LocalEmiss(false); }

}  // namespace Cli_Vor17000
