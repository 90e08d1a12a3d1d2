#pragma once
// A call to the application server made from a dialog: a wait cursor while it runs, and its
// failure (the server down, a refusal) shown to the user instead of ending the program.
#include <functional>

class QWidget;

namespace host::desktop {

// True when `query` ran through; otherwise the reason was shown in a message box over `parent`.
bool RunServerQuery(QWidget& parent, const std::function<void()>& query);

}  // namespace host::desktop
