#pragma once
// What the program carries in its Qt resources: the icon (resource 128 of
// the templates, 16 and 32 pixels) and the help page.

#include <QIcon>
#include <QString>

namespace solvane {

// The project version, "1.0.0.1", given by the build.
inline constexpr const char* kVersionText = SOLVANE_VERSION;

// The application icon with both its pictures.
QIcon ApplicationIcon();

// The resource URL of a page of the built-in help, e.g. "top.htm".
QString HelpPageUrl(const QString& topic);

}  // namespace solvane
