#pragma once
// The screen unit: the module-level variables, the entry routines and the unit's
// start-up and stop.
#include <cstdint>

#include "hostlib/form.h"
#include "hostlib/variant.h"

namespace Cli_Vor17000 {

class TfrmDataEmissao;

// The open screen; set before its creation handler runs, never cleared on close.
extern TfrmDataEmissao* frmDataEmissao;
// The caller's form, replaced on every IniProc.
extern hostlib::TForm* frmOrig;
// The screen exists.
extern bool boIdCriado;
// Caller mode: the screen works for a calling form.
extern bool boDataEmis;
// First pass of the screen.
extern bool boPrimVez;

// Opens the screen: creates it the first time, otherwise only shows it again.
void CriaDataEmissao(bool data_emis, hostlib::TForm* orig);

void initialization();
void Finalization();

}  // namespace Cli_Vor17000

// The host's entry: Null, or an array of the caller-mode flag and the caller form's handle.
extern "C" void IniProc(const hostlib::Variant& argument);
