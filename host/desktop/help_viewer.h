#pragma once
// Help by help file and context, mapped to the pages the host ships.
#include <QString>

class QWidget;

namespace host::desktop {

// The page of a help file and context; empty when the host has none for them.
QString HelpPage(const QString& help_file, int context);
// Shows the page, or says there is none.
void ShowHelp(QWidget* parent, const QString& help_file, int context);
// The page of the issue-date screen, for the Help menu.
inline const char* const kScreenHelpPage = ":/help/vor17000.html";
// Shows a page of the host's resources, or says there is none.
void ShowHelpPage(QWidget* parent, const QString& page);

}  // namespace host::desktop
