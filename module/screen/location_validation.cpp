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
        ProposeLocationDates(LocationDates::LastAndNext);
    });
}

void TfrmDataEmissao::ProposeLocationDates(LocationDates which) {
    const TField last = qryVdLocalEmiss.FieldByName("DTULTEMISLCE");
    location_dates_shown_ = edtCdLocal.Text();
    location_seen_ = StoredDateSeen{edtCdLocal.Text(),
                                    last.IsNull() ? std::nullopt : std::optional<TDateTime>(last.AsDateTime()),
                                    UsesProcessingDate() ? LastDateShows::Other : LastDateShows::StoredDate};
    if (which == LocationDates::LastOnly) {
        // What the proposal would show as the last date; the next date stays the user's.
        if (UsesProcessingDate()) {
            depDtUltEmiss.SetDate(ProcessingDate());
        } else if (last.IsNull()) {
            depDtUltEmiss.Clear();
        } else {
            depDtUltEmiss.SetDate(last.AsDateTime());
        }
        return;
    }
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
}

void TfrmDataEmissao::edtCdLocalChange(TObject&) { edtDsLocal.Clear(); }

void TfrmDataEmissao::edtCdLocalExit(TObject&) {
    Vd_LocalEmiss(false);
    // After a Confirm ended the first pass, leaving the field still shows the location's own
    // last date, so that a store never moves it back unseen; a code other than the one whose
    // dates are shown gets its dates proposed as on a fresh screen.
    if (boPrimVez || EmptyString(edtCdLocal.Text())) return;
    GuardFocus(edtCdLocal, [&] {
        ProposeLocationDates(edtCdLocal.Text() == location_dates_shown_ ? LocationDates::LastOnly
                                                                         : LocationDates::LastAndNext);
    });
}

}  // namespace Cli_Vor17000
