// The issue location of a series numbered per location: validation against the database
// and, in the screen's first pass, the dates proposed from the location.
#include "Cli_Vor17000.h"
#include "frmDataEmissao.h"
#include "guard.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

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

        const bool processing_date = SeriesFlag("IDUTDTPREMIS", "S");
        const TField last = qryVdLocalEmiss.FieldByName("DTULTEMISLCE");
        if (!last.IsNull() && !processing_date) {
            ProposeDayAfter(last.AsDateTime());
            return;
        }
        if (last.IsNull()) {
            depDtUltEmiss.Clear();
            LoadMaxData();
            if (!processing_date) {
                const TField latest = cdsMaxData.FieldByName("DTEMISSAO");
                depProxDtEmiss.SetDate(latest.IsNull() ? ProcessingDate() : latest.AsDateTime());
                return;
            }
        }
        // A processing-date series: fill first, then the enabled state, then the alert.
        FillProcessingDate();
        if (boDataEmis) {
            depProxDtEmiss.SetEnabled(true);
        } else {
            depProxDtEmiss.SetEnabled(false);
            ShowProcessingDateAlert();
        }
    });
}

void TfrmDataEmissao::edtCdLocalChange(TObject&) { edtDsLocal.Clear(); }

void TfrmDataEmissao::edtCdLocalExit(TObject&) { Vd_LocalEmiss(false); }

}  // namespace Cli_Vor17000
