#pragma once
// The issue-date screen: its controls and their initial layout.
#include "hostlib/controls.h"
#include "hostlib/db/query.h"
#include "hostlib/net/client_dataset.h"
#include "hostlib/net/net_connection.h"
#include "hostlib/rotigeral.h"

namespace Cli_Vor17000 {

using namespace hostlib;

class TfrmDataEmissao : public TfrmRotiGeral {
public:
    explicit TfrmDataEmissao(TComponent* owner);

    // Lifecycle.
    void FormCreate(TObject& sender) override;
    void FormClose(TObject& sender, TCloseAction& action) override;
    void FormActivate(TObject& sender);
    void FormKeyPress(TObject& sender, char32_t& key) override;
    void netDataEmissaoBeforeConnect(TObject& sender);

    // Company and registrations.
    void Vd_Empresa(bool required);
    void Vd_Inscricao(bool required);
    void Vd_InscMuni(bool required);
    void medCdEmpresaChange(TObject& sender);
    void medCdEmpresaExit(TObject& sender);
    void medInscEstadChange(TObject& sender);
    void medInscEstadExit(TObject& sender);
    void medInscMuniChange(TObject& sender);
    void medInscMuniExit(TObject& sender);
    void qryInscrEstadBeforeOpen(TDataSet& dataset);
    void qryInscMuniBeforeOpen(TDataSet& dataset);

    // Series and date proposal.
    void Vd_Serie(bool required);
    void edtCdSerieChange(TObject& sender);
    void edtCdSerieExit(TObject& sender);
    void panDataEnter(TObject& sender);

    // Issue location.
    void Vd_LocalEmiss(bool required);
    void edtCdLocalChange(TObject& sender);
    void edtCdLocalExit(TObject& sender);

    // Date fields and weekdays.
    void depDtUltEmissChange(TObject& sender);
    void depProxDtEmissChange(TObject& sender);
    void depProxDtEmissExit(TObject& sender);

    // Lookup buttons.
    void btpEmpresaBeforePesq(TObject& sender, bool& proceed);
    void btpEmpresaAfterPesq(TObject& sender);
    void btpInscEstadBeforePesq(TObject& sender, bool& proceed);
    void btpInscEstadAfterPesq(TObject& sender);
    void btpInscMuniBeforePesq(TObject& sender, bool& proceed);
    void btpInscMuniAfterPesq(TObject& sender);
    void btpSerieBeforePesq(TObject& sender, bool& proceed);
    void btpSerieAfterPesq(TObject& sender);
    void btpLocalBeforePesq(TObject& sender, bool& proceed);
    void btpLocalAfterPesq(TObject& sender);

    // Confirmation.
    void sbtConfirmaClick(TObject& sender);

    TPanel& panStatus;
    TLabel& lblStatus;

    TLabel& lblEmpresa;
    TMaskEdit& medCdEmpresa;
    TBtnPesquisa& btpEmpresa;
    TEdit& edtNmEmpresa;
    TLabel& lblInscEstad;
    TMaskEdit& medInscEstad;
    TBtnPesquisa& btpInscEstad;
    TLabel& lblInscMuni;
    TMaskEdit& medInscMuni;
    TBtnPesquisa& btpInscMuni;
    TLabel& lblSerie;
    TEdit& edtCdSerie;
    TBtnPesquisa& btpSerie;
    TBevel& bvl1;
    TLabel& lblLocal;
    TEdit& edtCdLocal;
    TBtnPesquisa& btpLocal;
    TEdit& edtDsLocal;
    TBevel& bvlLocal;
    TPanel& panData;
    TLabel& lblDtprocessa;
    TDateEditPlus& depDtUltEmiss;
    TMaskEdit& medDiaSem;
    TLabel& lblProxData;
    TDateEditPlus& depProxDtEmiss;
    TMaskEdit& medProxDiaSem;

    TADOIBQuery& qryEmpresa;
    TADOIBQuery& qryInscrEstad;
    TADOIBQuery& qryInscMuni;
    TADOIBQuery& qryLocalEmiss;
    TADOIBQuery& qryVdLocalEmiss;
    TDataSource& dtsEmpresa;
    TDataSource& dtsInscEstad;
    TDataSource& dtsInscMuni;
    TDataSource& dtsLocalEmiss;
    TNetConnection& netDataEmissao;
    TClientDataSet& cdsSerieNF;
    TClientDataSet& cdsMaxData;
    TDataSource& dtsSerieNF;

private:
    // A state or municipal registration: both are validated the same way.
    struct Registration {
        TMaskEdit& field;
        TADOIBQuery& query;
        const char* code_parameter;
        const char* all_parameter;
        const char* missing_key;
        const char* unknown_key;
    };
    void ValidateRegistration(const Registration& registration, bool required);

    // A flag of the current series row: set only when it is exactly `value`.
    bool SeriesFlag(const char* field, const char* value) const;
    // The host's processing date for its current branch, asked afresh.
    static TDateTime ProcessingDate();
    // Last issue date := the processing date; next := the last as read back.
    void FillProcessingDate();
    // Last issue date := `last`; next := the last as read back, plus one day.
    void ProposeDayAfter(TDateTime last);
    void ShowProcessingDateAlert();
    // GetMaxData for the current series' numbering control, into cdsMaxData.
    void LoadMaxData();
    void SetLocationRowEnabled(bool enabled);
    // Confirmation's steps.
    void CheckAgainstLatestInvoice();
    void StoreNewDate();
    void HandDateToCaller();
    void WireEvents();
    void ConfigureRemoteData();
    void LayOutFrame();
    void LayOutCodeRows();
    void LayOutDateArea();
};

}  // namespace Cli_Vor17000
