#pragma once
// The screen's guard: on any error, give the focus back to a field, then let the same
// error go on unchanged.
#include "hostlib/controls.h"

namespace Cli_Vor17000 {

template <class Body>
void GuardFocus(hostlib::TWinControl& field, Body&& body) {
    try {
        body();
    } catch (...) {
        field.SetFocus();
        throw;
    }
}

}  // namespace Cli_Vor17000
