// What the series and location proposals share: the series row's flags, the processing
// date, the day-after proposal, the latest invoice and the location row's state.
#include "Cli_Vor17000.h"
#include "frmDataEmissao.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

bool TfrmDataEmissao::SeriesFlag(const char* field, const char* value) const {
    // Exact and case-sensitive: "s", "N" and "" are all not set.
    return cdsSerieNF.FieldByName(field).AsString() == value;
}

TDateTime TfrmDataEmissao::ProcessingDate() { return DataProc(FiliProc()); }

void TfrmDataEmissao::FillProcessingDate() {
    depDtUltEmiss.SetDate(ProcessingDate());
    depProxDtEmiss.SetDate(depDtUltEmiss.GetDate());
}

void TfrmDataEmissao::ProposeDayAfter(TDateTime last) {
    depDtUltEmiss.SetDate(last);
    depProxDtEmiss.SetDate(depDtUltEmiss.GetDate() + 1);
}

void TfrmDataEmissao::ShowProcessingDateAlert() {
    MsgAlert(msgPadrao.Msg("Data_Proc"), TMsgDlgType::mtInformation, {msgPadrao.Msg("OK")}, 1);
}

void TfrmDataEmissao::LoadMaxData() {
    const std::string control = cdsSerieNF.FieldByName("CDCTRLNUMENF").AsString();
    cdsMaxData.SetData(netDataEmissao.AppServer().Call("GetMaxData", {control}));
}

void TfrmDataEmissao::SetLocationRowEnabled(bool enabled) {
    lblLocal.SetEnabled(enabled);
    edtCdLocal.SetEnabled(enabled);
    btpLocal.SetEnabled(enabled);
    edtCdLocal.SetColor(enabled ? TColor::clInfoBk : TColor::clBtnFace);
}

}  // namespace Cli_Vor17000
