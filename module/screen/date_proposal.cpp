// What the series and location proposals share: the series row's flags, the processing
// date, the day-after proposal, the latest invoice and the location row's state.
#include "Cli_Vor17000.h"
#include "data_emissao_contract.h"
#include "frmDataEmissao.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

using namespace hostlib;

namespace {

bool FlagIs(const TClientDataSet& series, const char* field, const char* letter) {
    // Exact and case-sensitive, a null or a missing row reading as "".
    return series.FieldByName(field).AsString() == letter;
}

}  // namespace

bool TfrmDataEmissao::NumberedByLocation() const { return FlagIs(cdsSerieNF, "IDUTLOCAEMIS", "S"); }

bool TfrmDataEmissao::UsesProcessingDate() const { return FlagIs(cdsSerieNF, "IDUTDTPREMIS", "S"); }

bool TfrmDataEmissao::ChecksLatestInvoice() const { return !FlagIs(cdsSerieNF, "IDCONSDTEMIS", "N"); }

TDateTime TfrmDataEmissao::ProcessingDate() { return DataProc(FiliProc()); }

void TfrmDataEmissao::FillProcessingDate() {
    depDtUltEmiss.SetDate(ProcessingDate());
    depProxDtEmiss.SetDate(depDtUltEmiss.GetDate());
}

void TfrmDataEmissao::ProposeProcessingDate(LockedDateAlert alert) {
    FillProcessingDate();
    depProxDtEmiss.SetEnabled(boDataEmis);
    if (!boDataEmis && alert == LockedDateAlert::Shown) ShowProcessingDateAlert();
}

void TfrmDataEmissao::ProposeLatestInvoiceDay() {
    LoadMaxData();
    const TField latest = cdsMaxData.FieldByName("DTEMISSAO");
    // The invoice's own day, not the day after: the control has no date of its own to follow.
    depProxDtEmiss.SetDate(latest.IsNull() ? ProcessingDate() : latest.AsDateTime());
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
    cdsMaxData.SetData(netDataEmissao.AppServer().CallPacket(vor17000::MethodName(vor17000::Method::GetMaxData), {control}));
}

void TfrmDataEmissao::SetLocationRowEnabled(bool enabled) {
    lblLocal.SetEnabled(enabled);
    edtCdLocal.SetEnabled(enabled);
    btpLocal.SetEnabled(enabled);
    edtCdLocal.SetColor(enabled ? TColor::clInfoBk : TColor::clBtnFace);
}

}  // namespace Cli_Vor17000
