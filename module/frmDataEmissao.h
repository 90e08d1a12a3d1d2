#pragma once
// The issue-date screen: its controls and their initial layout.
#include "hostlib/controls.h"
#include "hostlib/rotigeral.h"

namespace Cli_Vor17000 {

using namespace hostlib;

class TfrmDataEmissao : public TfrmRotiGeral {
public:
    explicit TfrmDataEmissao(TComponent* owner);

    void FormClose(TObject& sender, TCloseAction& action) override;

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

private:
    void LayOutFrame();
    void LayOutCodeRows();
    void LayOutDateArea();
};

}  // namespace Cli_Vor17000
