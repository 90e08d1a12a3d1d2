#pragma once
// The desktop host: the main window and its event loop, or one screenshot of it.
#include <filesystem>

#include "host_options.h"

namespace host::desktop {

int RunDesktop(int argc, char** argv, const HostOptions& options);
// Renders what options.screenshot_view names (the main window with the issue-date screen
// open, a lookup, a message, a dialog) to a PNG, without a display.
int SaveScreenshot(int argc, char** argv, const HostOptions& options, const std::filesystem::path& file);

}  // namespace host::desktop
