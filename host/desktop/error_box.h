#pragma once
// An error as the clerk reads it: a sentence in Portuguese, and what the system said under
// the box's details, for whoever is asked to help.
#include <QString>

class QWidget;

namespace host::desktop {

void ShowErrorBox(QWidget* parent, const QString& text, const QString& details);

}  // namespace host::desktop
