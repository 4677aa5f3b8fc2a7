#pragma once
// Converts dialog-template units to pixels the way the templates' home
// platform does: the base width is the average width of the 52 letters A-Z
// a-z, rounded half up; the base height is the font's height; a horizontal
// unit is a quarter of the base width, a vertical unit an eighth of the base
// height, each conversion rounded to the nearest pixel.

#include <QFont>
#include <QRect>
#include <QSize>

namespace solvane {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int baseX() const { return baseX_; }
    int baseY() const { return baseY_; }

    int MapX(int units) const { return MulDiv(units, baseX_, 4); }
    int MapY(int units) const { return MulDiv(units, baseY_, 8); }
    QSize MapSize(int width, int height) const { return {MapX(width), MapY(height)}; }
    // Position and size are converted separately, as the template's controls are.
    QRect MapRect(int x, int y, int width, int height) const {
        return {MapX(x), MapY(y), MapX(width), MapY(height)};
    }

    // The base width for the width of the 52 letters: their average, halves rounded up.
    static int BaseWidth(int letterExtent) { return (letterExtent / 26 + 1) / 2; }
    // number * numerator / denominator, rounded to nearest with halves away from zero.
    static int MulDiv(int number, int numerator, int denominator);

private:
    int baseX_;
    int baseY_;
};

}  // namespace solvane
