#pragma once
// The issue-date screen: its controls and their initial layout.
#include <optional>

#include "hostlib/controls.h"
#include "hostlib/db/query.h"
#include "hostlib/net/client_dataset.h"
#include "hostlib/net/net_connection.h"
#include "hostlib/rotigeral.h"

namespace Cli_Vor17000 {

class TfrmDataEmissao : public hostlib::TfrmRotiGeral {
public:
    explicit TfrmDataEmissao(hostlib::TComponent* owner);

    // Lifecycle.
    void FormCreate(hostlib::TObject& sender) override;
    void FormClose(hostlib::TObject& sender, hostlib::TCloseAction& action) override;
    void FormActivate(hostlib::TObject& sender);
    void FormKeyPress(hostlib::TObject& sender, char32_t& key) override;
    void netDataEmissaoBeforeConnect(hostlib::TObject& sender);

    // Company and registrations.
    void Vd_Empresa(bool required);
    void Vd_Inscricao(bool required);
    void Vd_InscMuni(bool required);
    void medCdEmpresaChange(hostlib::TObject& sender);
    void medCdEmpresaExit(hostlib::TObject& sender);
    void medInscEstadChange(hostlib::TObject& sender);
    void medInscEstadExit(hostlib::TObject& sender);
    void medInscMuniChange(hostlib::TObject& sender);
    void medInscMuniExit(hostlib::TObject& sender);
    void qryInscrEstadBeforeOpen(hostlib::TDataSet& dataset);
    void qryInscMuniBeforeOpen(hostlib::TDataSet& dataset);

    // Series and date proposal.
    void Vd_Serie(bool required);
    void edtCdSerieChange(hostlib::TObject& sender);
    void edtCdSerieExit(hostlib::TObject& sender);
    void panDataEnter(hostlib::TObject& sender);

    // Issue location.
    void Vd_LocalEmiss(bool required);
    void edtCdLocalChange(hostlib::TObject& sender);
    void edtCdLocalExit(hostlib::TObject& sender);

    // Date fields and weekdays.
    void depDtUltEmissChange(hostlib::TObject& sender);
    void depProxDtEmissChange(hostlib::TObject& sender);
    void depProxDtEmissExit(hostlib::TObject& sender);

    // Lookup buttons.
    void btpEmpresaBeforePesq(hostlib::TObject& sender, bool& proceed);
    void btpEmpresaAfterPesq(hostlib::TObject& sender);
    void btpInscEstadBeforePesq(hostlib::TObject& sender, bool& proceed);
    void btpInscEstadAfterPesq(hostlib::TObject& sender);
    void btpInscMuniBeforePesq(hostlib::TObject& sender, bool& proceed);
    void btpInscMuniAfterPesq(hostlib::TObject& sender);
    void btpSerieBeforePesq(hostlib::TObject& sender, bool& proceed);
    void btpSerieAfterPesq(hostlib::TObject& sender);
    void btpLocalBeforePesq(hostlib::TObject& sender, bool& proceed);
    void btpLocalAfterPesq(hostlib::TObject& sender);

    // Confirmation.
    void sbtConfirmaClick(hostlib::TObject& sender);

    hostlib::TPanel& panStatus;
    hostlib::TLabel& lblStatus;

    hostlib::TLabel& lblEmpresa;
    hostlib::TMaskEdit& medCdEmpresa;
    hostlib::TBtnPesquisa& btpEmpresa;
    hostlib::TEdit& edtNmEmpresa;
    hostlib::TLabel& lblInscEstad;
    hostlib::TMaskEdit& medInscEstad;
    hostlib::TBtnPesquisa& btpInscEstad;
    hostlib::TLabel& lblInscMuni;
    hostlib::TMaskEdit& medInscMuni;
    hostlib::TBtnPesquisa& btpInscMuni;
    hostlib::TLabel& lblSerie;
    hostlib::TEdit& edtCdSerie;
    hostlib::TBtnPesquisa& btpSerie;
    hostlib::TBevel& bvl1;
    hostlib::TLabel& lblLocal;
    hostlib::TEdit& edtCdLocal;
    hostlib::TBtnPesquisa& btpLocal;
    hostlib::TEdit& edtDsLocal;
    hostlib::TBevel& bvlLocal;
    hostlib::TPanel& panData;
    hostlib::TLabel& lblDtprocessa;
    hostlib::TDateEditPlus& depDtUltEmiss;
    hostlib::TMaskEdit& medDiaSem;
    hostlib::TLabel& lblProxData;
    hostlib::TDateEditPlus& depProxDtEmiss;
    hostlib::TMaskEdit& medProxDiaSem;

    hostlib::TADOIBQuery& qryEmpresa;
    hostlib::TADOIBQuery& qryInscrEstad;
    hostlib::TADOIBQuery& qryInscMuni;
    hostlib::TADOIBQuery& qryLocalEmiss;
    hostlib::TADOIBQuery& qryVdLocalEmiss;
    hostlib::TDataSource& dtsEmpresa;
    hostlib::TDataSource& dtsInscEstad;
    hostlib::TDataSource& dtsInscMuni;
    hostlib::TDataSource& dtsLocalEmiss;
    hostlib::TNetConnection& netDataEmissao;
    hostlib::TClientDataSet& cdsSerieNF;
    hostlib::TClientDataSet& cdsMaxData;
    hostlib::TDataSource& dtsSerieNF;

private:
    // A state or municipal registration: both are validated the same way.
    struct Registration {
        hostlib::TMaskEdit& field;
        hostlib::TADOIBQuery& query;
        const char* code_parameter;
        const char* all_parameter;
        const char* missing_key;
        const char* unknown_key;
    };
    void ValidateRegistration(const Registration& registration, bool required);

    // The flags of the current series row, read afresh at each use. A flag counts only when
    // it is exactly its letter: "s", "n" and "" are all not set.
    bool NumberedByLocation() const;   // IDUTLOCAEMIS "S": the dates belong to an issue location
    bool UsesProcessingDate() const;   // IDUTDTPREMIS "S": the issue date is the processing date
    bool ChecksLatestInvoice() const;  // IDCONSDTEMIS not "N": a new date is checked on the invoices
    // The host's processing date for its current branch, asked afresh.
    static hostlib::TDateTime ProcessingDate();
    // Last issue date := the processing date; next := the last as read back.
    void FillProcessingDate();
    // A processing-date series: both dates are the processing date, which only a caller may
    // change; anyone else is told so when `alert` says.
    enum class LockedDateAlert { Shown, NotShown };
    void ProposeProcessingDate(LockedDateAlert alert);
    // Next issue date := the latest invoice's own day, else the processing date (GetMaxData).
    void ProposeLatestInvoiceDay();
    // Last issue date := `last`; next := the last as read back, plus one day.
    void ProposeDayAfter(hostlib::TDateTime last);
    void ShowProcessingDateAlert();
    // GetMaxData for the current series' numbering control, into cdsMaxData.
    void LoadMaxData();
    void SetLocationRowEnabled(bool enabled);
    // The dates of the location found by qryVdLocalEmiss: both proposed, or only the last shown.
    enum class LocationDates { LastAndNext, LastOnly };
    void ProposeLocationDates(LocationDates which);
    // Confirmation's steps.
    void CheckAgainstLatestInvoice();
    void StoreNewDate();
    void HandDateToCaller();
    void WireEvents();
    void ConfigureRemoteData();
    void LayOutFrame();
    void LayOutCodeRows();
    void LayOutDateArea();

    // The location code whose dates the date fields show; empty when they show the series'.
    std::string location_dates_shown_;

    // The stored date the screen read for a code when it showed that code's dates, sent back
    // with the store so that a date another clerk stored meanwhile is not overwritten unseen.
    // Other: the processing date, or a location's date, stands in the last-date field.
    enum class LastDateShows { StoredDate, Other };
    struct StoredDateSeen {
        std::string code;
        std::optional<hostlib::TDateTime> date;
        LastDateShows last_date_shows = LastDateShows::StoredDate;
    };
    std::optional<StoredDateSeen> control_seen_;   // at the series' exit
    std::optional<StoredDateSeen> location_seen_;  // at the location's exit
    // The invoice check Confirm's own step ran, for the server to run again in the store.
    enum class InvoiceCheckRun { None, ByTime, ByDay };
    InvoiceCheckRun invoice_check_run_ = InvoiceCheckRun::None;
    // The store's third parameter: what was seen and checked for `code`; a location's store
    // names the series' control, whose invoices are checked.
    enum class StoreTarget { Control, Location };
    hostlib::RemoteObject StoreExpectation(const std::optional<StoredDateSeen>& seen, const std::string& code,
                                           StoreTarget target) const;
    // The server refused the store for what it found; the screen shows why and is ready for a
    // second Confirm. Rethrows any other failure.
    void HandleStoreRefusal(const hostlib::EAppServerError& refusal, std::optional<StoredDateSeen>& seen);
    void RememberControlSeen(LastDateShows shows);
};

}  // namespace Cli_Vor17000
