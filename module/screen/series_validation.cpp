// The series: its validation on the application server and, on leaving the field, the
// location row and the proposed dates that its flags call for.
#include "Cli_Vor17000.h"
#include "data_emissao_contract.h"
#include "frmDataEmissao.h"
#include "guard.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

using namespace hostlib;

void TfrmDataEmissao::Vd_Serie(bool required) {
    GuardFocus(edtCdSerie, [&] {
        if (EmptyString(edtCdSerie.Text())) {
            if (required) MensErro(msgPadrao.Msg("Serie_Inf"));
            return;
        }
        if (required && ActiveControl() != &edtCdSerie) return;
        // As the fields hold them: the series code is neither trimmed nor widened.
        cdsSerieNF.SetData(netDataEmissao.AppServer().CallPacket(
            vor17000::MethodName(vor17000::Method::GetSerieNF),
            {medCdEmpresa.Text(), medInscEstad.Text(), medInscMuni.Text(), edtCdSerie.Text(), std::string()}));
        if (cdsSerieNF.IsEmpty()) MensErro(msgPadrao.Msg("Serie_Cad"));
        if (cdsSerieNF.FieldByName("CDCTRLNUMENF").IsNull()) MensErro(msgPadrao.Msg("Ctrl_Inf"));
    });
}

void TfrmDataEmissao::edtCdSerieChange(TObject&) {
    location_dates_shown_.clear();
    depDtUltEmiss.Clear();
    depProxDtEmiss.Clear();
    const bool filled = !EmptyString(edtCdSerie.Text());
    depProxDtEmiss.SetEnabled(filled);
    lblProxData.SetEnabled(filled);
}

void TfrmDataEmissao::edtCdSerieExit(TObject&) {
    Vd_Serie(false);
    // Blanks count as empty here too: Vd_Serie loaded nothing for them.
    if (EmptyString(edtCdSerie.Text())) return;

    if (NumberedByLocation()) {
        SetLocationRowEnabled(true);
        edtCdLocal.SetFocus();
        // Otherwise the location proposes the dates once it is validated.
        if (UsesProcessingDate()) {
            location_dates_shown_.clear();
            ProposeProcessingDate(LockedDateAlert::NotShown);
        }
        RememberControlSeen(LastDateShows::Other);
        return;
    }

    location_dates_shown_.clear();
    SetLocationRowEnabled(false);
    edtCdLocal.Clear();
    edtDsLocal.Clear();
    const TField last = cdsSerieNF.FieldByName("DTEMISCTNUNF");
    // The last-date field shows the stored date, or the processing date in its place.
    RememberControlSeen(UsesProcessingDate() && !boDataEmis ? LastDateShows::Other
                                                             : LastDateShows::StoredDate);
    if (!last.IsNull()) {
        if (UsesProcessingDate() && !boDataEmis) {
            ProposeProcessingDate(LockedDateAlert::Shown);
        } else {
            if (UsesProcessingDate()) depProxDtEmiss.SetEnabled(true);
            ProposeDayAfter(last.AsDateTime());
        }
    } else if (!UsesProcessingDate()) {
        ProposeLatestInvoiceDay();
    } else if (boDataEmis) {
        // A caller may take the latest invoice's day; without one the field keeps its date.
        LoadMaxData();
        depProxDtEmiss.SetEnabled(true);
        const TField latest = cdsMaxData.FieldByName("DTEMISSAO");
        if (!latest.IsNull()) depProxDtEmiss.SetDate(latest.AsDateTime());
    } else {
        LoadMaxData();  // asked for, though the processing date wins
        ProposeProcessingDate(LockedDateAlert::Shown);
    }
    if (depProxDtEmiss.Enabled()) {
        depProxDtEmiss.SetFocus();
    } else {
        medCdEmpresa.SetFocus();
    }
}

void TfrmDataEmissao::RememberControlSeen(LastDateShows shows) {
    const TField last = cdsSerieNF.FieldByName("DTEMISCTNUNF");
    control_seen_ = StoredDateSeen{cdsSerieNF.FieldByName("CDCTRLNUMENF").AsString(),
                                   last.IsNull() ? std::nullopt : std::optional<TDateTime>(last.AsDateTime()),
                                   shows};
}

void TfrmDataEmissao::panDataEnter(TObject&) {
    if (!UsesProcessingDate()) {
        const bool filled = !EmptyString(edtCdSerie.Text());
        depProxDtEmiss.SetEnabled(filled);
        lblProxData.SetEnabled(filled);
    } else if (!boDataEmis) {
        depProxDtEmiss.SetEnabled(false);
        lblProxData.SetEnabled(false);
    }
    // The panel never keeps the focus.
    if (depProxDtEmiss.Enabled()) {
        depProxDtEmiss.SetFocus();
    } else {
        medCdEmpresa.SetFocus();
    }
}

}  // namespace Cli_Vor17000
