// The lookup buttons: what each lists, and how a choice is written back. A lookup checks
// nothing; the field's own validation runs when the focus leaves it.
#include "data_emissao_contract.h"
#include "frmDataEmissao.h"

namespace Cli_Vor17000 {

using namespace hostlib;

void TfrmDataEmissao::btpEmpresaBeforePesq(TObject&, bool&) {
    qryEmpresa.Close();
    qryEmpresa.ParamByName("P_TCDEMPRESA").SetValue("T");
}

void TfrmDataEmissao::btpEmpresaAfterPesq(TObject&) {
    // The code first: its change empties the name, which is then written.
    medCdEmpresa.SetText(qryEmpresa.FieldByName("CDEMPRESA").AsString());
    edtNmEmpresa.SetText(qryEmpresa.FieldByName("NMEMPRESA").AsString());
}

void TfrmDataEmissao::btpInscEstadBeforePesq(TObject&, bool&) {
    qryInscrEstad.Close();
    qryInscrEstad.ParamByName("P_TCDINSCESTA").SetValue("T");
}

void TfrmDataEmissao::btpInscEstadAfterPesq(TObject&) {
    medInscEstad.SetText(qryInscrEstad.FieldByName("CDINSCESTA").AsString());
}

void TfrmDataEmissao::btpInscMuniBeforePesq(TObject&, bool&) {
    qryInscMuni.Close();
    qryInscMuni.ParamByName("P_CDEMPRESA").SetValue(medCdEmpresa.Text());
    qryInscMuni.ParamByName("P_CDINSCMUNI").Clear();
    qryInscMuni.ParamByName("P_TCDINSCMUNI").SetValue("T");
    qryInscMuni.Open();
}

void TfrmDataEmissao::btpInscMuniAfterPesq(TObject&) {
    medInscMuni.SetText(qryInscMuni.FieldByName("CDINSCMUNI").AsString());
}

void TfrmDataEmissao::btpSerieBeforePesq(TObject&, bool&) {
    cdsSerieNF.SetData(netDataEmissao.AppServer().CallPacket(
        vor17000::MethodName(vor17000::Method::GetSerieNF), {medCdEmpresa.Text(), medInscEstad.Text(), medInscMuni.Text(), std::string(), std::string("T")}));
}

void TfrmDataEmissao::btpSerieAfterPesq(TObject&) { edtCdSerie.SetText(cdsSerieNF.FieldByName("CDSERIE").AsString()); }

void TfrmDataEmissao::btpLocalBeforePesq(TObject&, bool&) {
    // Read afresh at every click.
    qryLocalEmiss.Close();
    qryLocalEmiss.Open();
}

void TfrmDataEmissao::btpLocalAfterPesq(TObject&) {
    edtCdLocal.SetText(qryLocalEmiss.FieldByName("CDLOCALEMIS").AsString());
    edtDsLocal.SetText(qryLocalEmiss.FieldByName("DSLOCALEMIS").AsString());
}

}  // namespace Cli_Vor17000
