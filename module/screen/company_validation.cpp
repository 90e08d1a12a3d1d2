// Company and registrations: validation on exit, the change cascade, and the before-open
// handlers that tie registration queries to the company typed.
#include "frmDataEmissao.h"
#include "guard.h"
#include "hostlib/services.h"

namespace Cli_Vor17000 {

using namespace hostlib;

void TfrmDataEmissao::Vd_Empresa(bool required) {
    const std::string text = medCdEmpresa.Text();
    GuardFocus(medCdEmpresa, [&] {
        if (EmptyString(text)) {
            if (required) MensErro(msgPadrao.Msg("Emp_Inf"));
            return;
        }
        if (required && ActiveControl() != &medCdEmpresa) return;
        // The rewrite runs the cascade before the lookup, so the name shown below survives it.
        medCdEmpresa.SetText(Ajusta(medCdEmpresa.Text(), 2));
        qryEmpresa.Close();
        qryEmpresa.ParamByName("P_CDEMPRESA").SetValue(medCdEmpresa.Text());
        qryEmpresa.ParamByName("P_TCDEMPRESA").SetValue("");
        qryEmpresa.Open();
        if (qryEmpresa.IsEmpty()) MensErro(msgPadrao.Msg("Emp_Cad"));
        edtNmEmpresa.SetText(qryEmpresa.FieldByName("NMEMPRESA").AsString());
    });
}

void TfrmDataEmissao::ValidateRegistration(const Registration& registration, bool required) {
    const std::string text = registration.field.Text();
    GuardFocus(registration.field, [&] {
        if (EmptyString(text)) {
            if (required) MensErro(msgPadrao.Msg(registration.missing_key));
            return;
        }
        if (required && ActiveControl() != &registration.field) return;
        registration.query.Close();
        // As typed: the code is not normalised. The company comes from the before-open handler.
        registration.query.ParamByName(registration.code_parameter).SetValue(registration.field.Text());
        registration.query.ParamByName(registration.all_parameter).SetValue("");
        registration.query.Open();
        if (registration.query.IsEmpty()) MensErro(msgPadrao.Msg(registration.unknown_key));
    });
}

void TfrmDataEmissao::Vd_Inscricao(bool required) {
    ValidateRegistration({medInscEstad, qryInscrEstad, "P_CDINSCESTA", "P_TCDINSCESTA", "Insc_Inf", "Insc_Cad"},
                         required);
}

void TfrmDataEmissao::Vd_InscMuni(bool required) {
    ValidateRegistration({medInscMuni, qryInscMuni, "P_CDINSCMUNI", "P_TCDINSCMUNI", "InscM_Inf", "InscM_Cad"},
                         required);
}

void TfrmDataEmissao::medCdEmpresaChange(TObject&) {
    edtNmEmpresa.Clear();
    medInscEstad.Clear();
    medInscMuni.Clear();
}

void TfrmDataEmissao::medInscEstadChange(TObject&) { medInscMuni.Clear(); }

void TfrmDataEmissao::medInscMuniChange(TObject&) { edtCdSerie.Clear(); }

void TfrmDataEmissao::medCdEmpresaExit(TObject&) { Vd_Empresa(false); }

void TfrmDataEmissao::medInscEstadExit(TObject&) { Vd_Inscricao(false); }

void TfrmDataEmissao::medInscMuniExit(TObject&) { Vd_InscMuni(false); }

void TfrmDataEmissao::qryInscrEstadBeforeOpen(TDataSet&) {
    qryInscrEstad.ParamByName("P_CDEMPRESA").SetValue(medCdEmpresa.Text());
}

void TfrmDataEmissao::qryInscMuniBeforeOpen(TDataSet&) {
    qryInscMuni.ParamByName("P_CDEMPRESA").SetValue(medCdEmpresa.Text());
}

}  // namespace Cli_Vor17000
