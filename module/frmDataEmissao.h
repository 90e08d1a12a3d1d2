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
    void WireEvents();
    void ConfigureRemoteData();
    void LayOutFrame();
    void LayOutCodeRows();
    void LayOutDateArea();
};

}  // namespace Cli_Vor17000
