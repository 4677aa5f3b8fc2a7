#include "app/DialogFont.h"

namespace solvane {

QStringList DialogFontSubstitutes() { return {QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")}; }

QFont DialogFont() {
    static const bool installed = [] {
        QFont::insertSubstitutions(QString::fromUtf8(kDialogFontFamily), DialogFontSubstitutes());
        return true;
    }();
    (void)installed;
    QFont font(QString::fromUtf8(kDialogFontFamily));
    font.setPointSize(kDialogFontPoints);
    return font;
}

}  // namespace solvane
