// The series: its validation on the application server and, on leaving the field, the
// location row and the proposed dates that its flags call for.
#include "Cli_Vor17000.h"
#include "frmDataEmissao.h"
#include "guard.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

void TfrmDataEmissao::Vd_Serie(bool required) {
    GuardFocus(edtCdSerie, [&] {
        if (EmptyString(edtCdSerie.Text())) {
            if (required) MensErro(msgPadrao.Msg("Serie_Inf"));
            return;
        }
        if (required && ActiveControl() != &edtCdSerie) return;
        // As the fields hold them: the series code is neither trimmed nor widened.
        cdsSerieNF.SetData(netDataEmissao.AppServer().Call(
            "GetSerieNF", {medCdEmpresa.Text(), medInscEstad.Text(), medInscMuni.Text(), edtCdSerie.Text(),
                           std::string()}));
        if (cdsSerieNF.IsEmpty()) MensErro(msgPadrao.Msg("Serie_Cad"));
        if (cdsSerieNF.FieldByName("CDCTRLNUMENF").IsNull()) MensErro(msgPadrao.Msg("Ctrl_Inf"));
    });
}

void TfrmDataEmissao::edtCdSerieChange(TObject&) {
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
    const bool processing_date = SeriesFlag("IDUTDTPREMIS", "S");

    if (SeriesFlag("IDUTLOCAEMIS", "S")) {
        SetLocationRowEnabled(true);
        edtCdLocal.SetFocus();
        if (processing_date) {
            FillProcessingDate();
            depProxDtEmiss.SetEnabled(boDataEmis);
        }
        return;  // otherwise the location proposes the dates
    }

    SetLocationRowEnabled(false);
    edtCdLocal.Clear();
    edtDsLocal.Clear();
    const TField last = cdsSerieNF.FieldByName("DTEMISCTNUNF");
    if (!last.IsNull()) {
        if (!processing_date) {
            ProposeDayAfter(last.AsDateTime());
        } else if (boDataEmis) {
            depProxDtEmiss.SetEnabled(true);
            ProposeDayAfter(last.AsDateTime());
        } else {
            depProxDtEmiss.SetEnabled(false);
            FillProcessingDate();
            ShowProcessingDateAlert();
        }
    } else {
        LoadMaxData();
        const TField latest = cdsMaxData.FieldByName("DTEMISSAO");
        if (!processing_date) {
            // The latest invoice's own day, not the day after.
            depProxDtEmiss.SetDate(latest.IsNull() ? ProcessingDate() : latest.AsDateTime());
        } else if (boDataEmis) {
            depProxDtEmiss.SetEnabled(true);
            if (!latest.IsNull()) depProxDtEmiss.SetDate(latest.AsDateTime());
        } else {
            depProxDtEmiss.SetEnabled(false);
            FillProcessingDate();
            ShowProcessingDateAlert();
        }
    }
    if (depProxDtEmiss.Enabled()) {
        depProxDtEmiss.SetFocus();
    } else {
        medCdEmpresa.SetFocus();
    }
}

void TfrmDataEmissao::panDataEnter(TObject&) {
    if (!SeriesFlag("IDUTDTPREMIS", "S")) {
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
