#pragma once
// The drawing of a piano roll, the same for the preview window and for
// solvane-cli roll: time left to right in seconds with bar lines, keys bottom
// to top beside a keyboard strip, one colour per channel (the drum channel
// as hits), velocity as brightness, the untransformed piece as a faint ghost
// behind when given, and a playhead. RollGeometry is the one mapping from
// times and keys to pixels; whoever draws or points at the picture uses it.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <cstdint>

#include "roll/RollLayout.h"

class QPainter;

namespace solvane {

class RollGeometry {
public:
    static constexpr int kKeyboardWidth = 44;
    static constexpr int kRulerHeight = 18;

    // A picture of size showing keys lowKey..highKey over the whole height,
    // with time from at its left edge, pixelsPerSecond apart.
    RollGeometry(QSize size, std::int64_t from, double pixelsPerSecond, int lowKey, int highKey);
    // The whole of layout (and ghost, when given) in size.
    static RollGeometry Fit(QSize size, const RollLayout& layout, const RollLayout* ghost = nullptr);

    QSize Size() const { return size_; }
    QRect NoteArea() const;
    // The first column of a moment; a note covers [X(start), X(end)), at least a column.
    int X(std::int64_t microseconds) const;
    std::int64_t TimeAt(int x) const;
    // A key's row: [RowTop, RowBottom), higher keys higher up.
    int RowTop(int key) const;
    int RowBottom(int key) const { return RowTop(key - 1); }
    std::int64_t From() const { return from_; }
    double PixelsPerSecond() const { return pixelsPerSecond_; }
    int LowKey() const { return lowKey_; }
    int HighKey() const { return highKey_; }

private:
    QSize size_;
    std::int64_t from_;
    double pixelsPerSecond_;
    int lowKey_;
    int highKey_;
};

// A note's colour: its channel's hue, brighter the harder it is struck.
QColor NoteColour(int channel, int velocity);

// Draws layout as geometry maps it onto painter's device, from (0, 0), with
// ghost behind it when given and the playhead at that time unless it is negative.
void PaintRoll(QPainter& painter, const RollGeometry& geometry, const RollLayout& layout,
               const RollLayout* ghost = nullptr, std::int64_t playhead = -1);

// The playhead alone, over a picture drawn before.
void PaintPlayhead(QPainter& painter, const RollGeometry& geometry, std::int64_t playhead);

// The picture of layout at size, fitted whole: what solvane-cli roll writes.
QImage DrawRoll(QSize size, const RollLayout& layout, const RollLayout* ghost = nullptr);

}  // namespace solvane
