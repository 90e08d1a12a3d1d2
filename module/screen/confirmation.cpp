// Confirm: validate the whole screen again, check the new date against the latest invoice,
// store it, refresh the host's cache, hand the date to the caller, and close.
#include "Cli_Vor17000.h"
#include "frmDataEmissao.h"
#include "data_emissao_contract.h"
#include "hostlib/application.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

using namespace hostlib;

void TfrmDataEmissao::sbtConfirmaClick(TObject&) {
    invoice_check_run_ = InvoiceCheckRun::None;
    try {
        // First pass: every filled field is looked up again (the series row comes fresh).
        Vd_Empresa(false);
        Vd_Inscricao(false);
        Vd_InscMuni(false);
        Vd_Serie(false);
        // From here on the location checks its code only; the dates are the user's.
        boPrimVez = false;
        if (NumberedByLocation()) Vd_LocalEmiss(false);
        depProxDtEmiss.CheckValidDate();

        // Second pass: every field must be filled.
        Vd_Empresa(true);
        Vd_Inscricao(true);
        Vd_InscMuni(true);
        Vd_Serie(true);
        if (NumberedByLocation()) Vd_LocalEmiss(true);
        if (EmptyString(depProxDtEmiss.Text())) {
            depProxDtEmiss.SetFocus();
            MensErro(msgPadrao.Msg("Data_Inf"));
        }

        if (ChecksLatestInvoice()) CheckAgainstLatestInvoice();
        StoreNewDate();
        if (boDataEmis) HandDateToCaller();
        // The main window's activation handler runs; the window itself is not activated.
        if (TForm* main = Application().MainForm(); main != nullptr && main->OnActivate) main->OnActivate(*main);
        Close();
    } catch (...) {
        // Nothing is undone: a date already stored stays stored. The error reported is the
        // one that ended Confirm, not one from hiding the animation.
        try {
            DeactiveShowAvi();
        } catch (...) {
        }
        throw;
    }
}

void TfrmDataEmissao::CheckAgainstLatestInvoice() {
    const TDateTime new_date = depProxDtEmiss.GetDate();
    const TDateTime last_date = depDtUltEmiss.GetDate();
    // An empty last date reads as 0 and would always look earlier; without a last date
    // the invoices are the only thing the new date can be checked against.
    const bool no_last_date = EmptyString(depDtUltEmiss.Text());
    if (!no_last_date && last_date < new_date) return;

    {
        TWaitAnimation checking(frmDataEmissao, TShowAvi::Verificando, msgPadrao.Msg("Get_cdsMaxData"));
        LoadMaxData();
    }
    const bool by_day_check = no_last_date || UsesProcessingDate();
    invoice_check_run_ = by_day_check ? InvoiceCheckRun::ByDay : InvoiceCheckRun::ByTime;

    // A null date (or no row) reads as 0 and never blocks.
    // The screen's own proposals are days: the latest invoice's day without a last date, the
    // processing date (locked out of caller mode) for a processing-date series. Against those
    // the days are compared: the proposal passes whatever the invoice's time, an earlier day
    // does not.
    const TField latest = cdsMaxData.FieldByName("DTEMISSAO");
    const TDateTime proposed = depProxDtEmiss.GetDate();
    const bool by_day = by_day_check;
    const bool earlier = by_day ? DateOf(proposed) < DateOf(latest.AsDateTime()) : proposed < latest.AsDateTime();
    if (earlier) {
        depProxDtEmiss.SetFocus();
        MensErro(FormatMessage(msgPadrao.Msg("Data_Inv"), {latest.AsString()}));
    }
}

void TfrmDataEmissao::StoreNewDate() {
    // In caller mode a processing-date series only hands its date back.
    if (boDataEmis && UsesProcessingDate()) return;
    const TDateTime new_date = depProxDtEmiss.GetDate();
    // The two-parameter call unless there is something to check: what was seen, or the check run.
    const auto arguments = [&](const std::string& code, const std::optional<StoredDateSeen>& seen, StoreTarget target) {
        std::vector<RemoteArgument> list{new_date, code};
        RemoteObject expectation = StoreExpectation(seen, code, target);
        if (!expectation.empty()) list.emplace_back(std::move(expectation));
        return list;
    };
    if (!NumberedByLocation()) {
        const std::string control = cdsSerieNF.FieldByName("CDCTRLNUMENF").AsString();
        try {
            TWaitAnimation updating(frmDataEmissao, TShowAvi::Atualizando, msgPadrao.Msg("Pro_UpdateCtrlNumNF"));
            netDataEmissao.AppServer().CallProcedure(vor17000::MethodName(vor17000::Method::UpdateCtrlNumNF), arguments(control, control_seen_, StoreTarget::Control));
        } catch (const EAppServerError& refusal) {
            HandleStoreRefusal(refusal, control_seen_);
        }
        AtualizaLocalCache({"CTRLNUMENF"});
    } else {
        try {
            netDataEmissao.AppServer().CallProcedure(vor17000::MethodName(vor17000::Method::UpDtLocal), arguments(edtCdLocal.Text(), location_seen_, StoreTarget::Location));
        } catch (const EAppServerError& refusal) {
            HandleStoreRefusal(refusal, location_seen_);
        }
        AtualizaLocalCache({"LOCALEMISSAO"});
    }
}

RemoteObject TfrmDataEmissao::StoreExpectation(const std::optional<StoredDateSeen>& seen, const std::string& code,
                                               StoreTarget target) const {
    RemoteObject expectation;
    // Only a date read for this very code: a code changed since, or never shown, is not vouched for.
    if (seen && seen->code == code) {
        expectation.emplace_back(std::string(vor17000::kPreviousMember),
                                 seen->date ? RemoteValue(*seen->date) : RemoteValue(RemoteNull{}));
    }
    if (invoice_check_run_ != InvoiceCheckRun::None) {
        expectation.emplace_back(std::string(vor17000::kInvoicesMember),
                                 std::string(invoice_check_run_ == InvoiceCheckRun::ByDay ? vor17000::kInvoicesByDay
                                                                                          : vor17000::kInvoicesByTime));
        if (target == StoreTarget::Location) {
            expectation.emplace_back(std::string(vor17000::kControlMember),
                                     cdsSerieNF.FieldByName("CDCTRLNUMENF").AsString());
        }
    }
    return expectation;
}

void TfrmDataEmissao::HandleStoreRefusal(const EAppServerError& refusal, std::optional<StoredDateSeen>& seen) {
    const auto reason = refusal.DataValue(vor17000::kReasonMember);
    if (reason == vor17000::kChangedMeanwhile && seen) {
        // Another clerk stored a date meanwhile: it is what this screen has now seen; the date
        // typed stays for the clerk to confirm again, or change.
        const auto text = refusal.DataValue(vor17000::kCurrentMember);
        seen->date = text ? TryIsoToDateTime(*text) : std::nullopt;
        if (seen->last_date_shows == LastDateShows::StoredDate) depDtUltEmiss.SetDate(seen->date.value_or(0.0));
        depProxDtEmiss.SetFocus();
        MensErro(refusal.what());
    }
    if (reason == vor17000::kEarlierThanInvoice) {
        const auto issued = TryIsoToDateTime(refusal.DataValue(vor17000::kInvoiceMember).value_or(""));
        depProxDtEmiss.SetFocus();
        MensErro(FormatMessage(msgPadrao.Msg("Data_Inv"), {issued ? DateTimeToStr(*issued) : std::string()}));
    }
    throw;
}

void TfrmDataEmissao::HandDateToCaller() {
    // A caller form that is gone, or has no such label, gets nothing; Confirm goes on.
    if (frmOrig == nullptr || !Application().Owns(frmOrig)) return;
    TComponent* target = frmOrig->FindComponent("lblDtEmissao");
    if (auto* edit = dynamic_cast<TCustomEdit*>(target)) {
        edit->SetText(depProxDtEmiss.Text());
    } else if (auto* control = dynamic_cast<TControl*>(target)) {
        control->SetCaption(depProxDtEmiss.Text());
    }
}

}  // namespace Cli_Vor17000
