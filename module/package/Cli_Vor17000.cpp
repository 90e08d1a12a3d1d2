#include "Cli_Vor17000.h"

#include "frmDataEmissao.h"
#include "hostlib/application.h"

namespace Cli_Vor17000 {

using namespace hostlib;

TfrmDataEmissao* frmDataEmissao = nullptr;
hostlib::TForm* frmOrig = nullptr;
bool boIdCriado = false;
bool boDataEmis = false;
bool boPrimVez = false;

namespace {
// Start-ups not yet matched by a stop, counted down as the platform counts them.
int InitCount = 0;
}  // namespace

void CriaDataEmissao(bool data_emis, hostlib::TForm* orig) {
    frmOrig = orig;
    if (!boIdCriado) {
        hostlib::Application().CreateForm(frmDataEmissao);
        boIdCriado = true;
    }
    // Only after creation: the creation handler of a new screen sees the previous flag.
    boDataEmis = data_emis;
    frmDataEmissao->Show();
    frmDataEmissao->SetWindowState(hostlib::TWindowState::wsNormal);
}

void initialization() {
    if (InitCount-- == 0) boPrimVez = true;
}

void Finalization() { ++InitCount; }

}  // namespace Cli_Vor17000

extern "C" void IniProc(const hostlib::Variant& argument) {
    // Private copies, released on every way out by their destructors.
    const hostlib::Variant copy = argument;
    if (copy.IsNull()) {
        Cli_Vor17000::CriaDataEmissao(false, nullptr);
        return;
    }
    const hostlib::Variant flag_element = copy[0];
    const bool data_emis = flag_element.ToBoolean();
    const hostlib::Variant form_element = copy[1];
    const auto handle = static_cast<hostlib::FormHandle>(form_element.ToInt32());
    Cli_Vor17000::CriaDataEmissao(data_emis, hostlib::Application().FormFromHandle(handle));
}
