#pragma once
// The font of both dialog templates: "ＭＳ Ｐゴシック" at 9 points. That face is
// not found on Linux, so Qt is told to take IPAPGothic, then Noto Sans CJK JP,
// whose metrics and kana cover every caption and message of the program.

#include <QFont>
#include <QStringList>

namespace solvane {

inline constexpr const char* kDialogFontFamily = "ＭＳ Ｐゴシック";
inline constexpr int kDialogFontPoints = 9;

// The faces that stand in for kDialogFontFamily, in order of preference.
QStringList DialogFontSubstitutes();

// The template font; installs the substitutions on first use.
QFont DialogFont();

}  // namespace solvane
