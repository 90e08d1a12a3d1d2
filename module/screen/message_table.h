#pragma once
// The screen's message table: every text it shows that is not a caption.
#include "hostlib/messages.h"

namespace Cli_Vor17000 {

// Replaces the whole list of `messages` with the screen's entries, in their stored order.
void LoadMessageTable(hostlib::TMessages& messages);

}  // namespace Cli_Vor17000
