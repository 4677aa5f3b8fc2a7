#include "roll/RollPicture.h"

#include <QFont>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <array>
#include <cmath>

namespace solvane {
namespace {

constexpr std::int64_t kMicros = 1'000'000;
constexpr std::int64_t kShortestFit = kMicros;  // an empty piece still gets a second of axis

const QColor kBackground(0x1b, 0x1d, 0x23);
const QColor kBlackKeyRow(0x16, 0x18, 0x1d);
const QColor kOctaveLine(0x2c, 0x2f, 0x38);
const QColor kBarLine(0x3e, 0x42, 0x4f);
const QColor kGhost(0x45, 0x49, 0x56);
const QColor kRuler(0x2a, 0x2d, 0x35);
const QColor kRulerText(0xc8, 0xcb, 0xd2);
const QColor kWhiteKey(0xe9, 0xe9, 0xe6);
const QColor kBlackKey(0x25, 0x25, 0x28);
const QColor kKeyLine(0xa0, 0xa0, 0xa0);
const QColor kPlayhead(0xff, 0x45, 0x3a);

// Neighbouring channels get hues far apart, so that a band's parts stand
// out from each other; the drums are pale, as hits rather than tones.
constexpr std::array<int, 16> kHues = {210, 30, 120, 0, 275, 55, 180, 330, 90, 40, 245, 15, 150, 300, 195, 345};

bool IsBlackKey(int key) {
    const int pitch = ((key % 12) + 12) % 12;
    return pitch == 1 || pitch == 3 || pitch == 6 || pitch == 8 || pitch == 10;
}

int Clamped(double value) { return static_cast<int>(std::clamp(value, -1.0e9, 1.0e9)); }

// A step for the time labels that leaves room for each label.
double LabelStep(double pixelsPerSecond) {
    static constexpr double kSteps[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1200, 3600};
    for (double step : kSteps) {
        if (step * pixelsPerSecond >= 64) return step;
    }
    // A broken piece can last for years: the labels still keep their room.
    double step = 7200;
    while (step * pixelsPerSecond < 64) step *= 2;
    return step;
}

QString TimeLabel(double seconds, double step) {
    if (step < 1) return QString::number(seconds, 'f', 1) + QStringLiteral(" s");
    const auto whole = static_cast<long long>(std::llround(seconds));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

void PaintNotes(QPainter& painter, const RollGeometry& g, const RollLayout& layout, const QColor* only) {
    const QRect area = g.NoteArea();
    for (const RollNote& note : layout.notes) {
        if (note.key < g.LowKey() || note.key > g.HighKey()) continue;
        const int top = g.RowTop(note.key);
        const int bottom = g.RowBottom(note.key);
        // A gap between neighbouring keys once the rows are tall enough to spare one.
        const int height = std::max(1, bottom - top - (bottom - top >= 5 ? 1 : 0));
        int x0 = g.X(note.start);
        int x1 = std::max(g.X(note.end), x0 + 1);
        if (note.channel == kDrumChannel) {
            // A hit has no length worth showing: a short mark where it falls.
            x1 = x0 + std::clamp(height / 2, 2, 4);
        }
        if (x1 <= area.left() || x0 > area.right()) continue;
        x0 = std::max(x0, area.left());
        x1 = std::min(x1, area.right() + 1);
        painter.fillRect(x0, top, x1 - x0, height, only != nullptr ? *only : NoteColour(note.channel, note.velocity));
    }
}

void PaintBackground(QPainter& painter, const RollGeometry& g, const RollLayout& layout) {
    const QRect area = g.NoteArea();
    painter.fillRect(area, kBackground);
    for (int key = g.LowKey(); key <= g.HighKey(); ++key) {
        const int top = g.RowTop(key);
        if (IsBlackKey(key)) painter.fillRect(area.left(), top, area.width(), g.RowBottom(key) - top, kBlackKeyRow);
        if (key % 12 == 0) painter.fillRect(area.left(), g.RowBottom(key) - 1, area.width(), 1, kOctaveLine);
    }
    int lastX = -1000;
    for (std::int64_t bar : layout.bars) {
        const int x = g.X(bar);
        if (x < area.left() || x > area.right() || x - lastX < 4) continue;
        painter.fillRect(x, area.top(), 1, area.height(), kBarLine);
        lastX = x;
    }
}

void PaintRuler(QPainter& painter, const RollGeometry& g) {
    const QRect area = g.NoteArea();
    painter.fillRect(0, 0, g.Size().width(), RollGeometry::kRulerHeight, kRuler);
    const double step = LabelStep(g.PixelsPerSecond());
    const double first = std::ceil(static_cast<double>(g.TimeAt(area.left())) / kMicros / step) * step;
    const double last = static_cast<double>(g.TimeAt(area.right())) / kMicros;
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(kRulerText);
    for (double s = std::max(first, 0.0); s <= last; s += step) {
        const int x = g.X(static_cast<std::int64_t>(std::llround(s * kMicros)));
        painter.fillRect(x, RollGeometry::kRulerHeight - 5, 1, 5, kRulerText);
        painter.drawText(QRect(x + 3, 0, 80, RollGeometry::kRulerHeight - 2), Qt::AlignLeft | Qt::AlignVCenter,
                         TimeLabel(s, step));
    }
}

void PaintKeyboard(QPainter& painter, const RollGeometry& g) {
    const int width = RollGeometry::kKeyboardWidth;
    const QRect area = g.NoteArea();
    painter.fillRect(0, area.top(), width, area.height(), kWhiteKey);
    // A label for each C once an octave is tall enough to hold one.
    const bool labels = area.height() * 12 >= 24 * (g.HighKey() - g.LowKey() + 1);
    QFont font = painter.font();
    font.setPixelSize(9);
    painter.setFont(font);
    painter.setPen(kBlackKey);
    for (int key = g.LowKey(); key <= g.HighKey(); ++key) {
        const int top = g.RowTop(key);
        const int bottom = g.RowBottom(key);
        if (IsBlackKey(key)) {
            painter.fillRect(0, top, width * 3 / 5, std::max(1, bottom - top), kBlackKey);
        } else if (key % 12 == 0 || key % 12 == 5) {
            // The boundary below C and F, where two white keys meet.
            painter.fillRect(0, bottom - 1, width, 1, kKeyLine);
        }
        if (labels && key % 12 == 0) {
            painter.drawText(QRect(width * 3 / 5, bottom - 12, width * 2 / 5 - 2, 12), Qt::AlignRight | Qt::AlignBottom,
                             QStringLiteral("C%1").arg(key / 12 - 1));
        }
    }
    painter.fillRect(width - 1, area.top(), 1, area.height(), kKeyLine);
    painter.fillRect(0, 0, width, RollGeometry::kRulerHeight, kRuler);
}

}  // namespace

RollGeometry::RollGeometry(QSize size, std::int64_t from, double pixelsPerSecond, int lowKey, int highKey)
    : size_(size),
      from_(from),
      pixelsPerSecond_(pixelsPerSecond > 0 ? pixelsPerSecond : 1),
      lowKey_(std::clamp(lowKey, 0, 127)),
      highKey_(std::clamp(highKey, lowKey_, 127)) {}

RollGeometry RollGeometry::Fit(QSize size, const RollLayout& layout, const RollLayout* ghost) {
    std::int64_t length = layout.length;
    int low = layout.lowKey;
    int high = layout.highKey;
    if (ghost != nullptr) {
        length = std::max(length, ghost->length);
        low = std::min(low, ghost->lowKey);
        high = std::max(high, ghost->highKey);
    }
    const double width = std::max(1, size.width() - kKeyboardWidth);
    return RollGeometry(size, 0, width * kMicros / static_cast<double>(std::max(length, kShortestFit)), low, high);
}

QRect RollGeometry::NoteArea() const {
    return QRect(kKeyboardWidth, kRulerHeight, std::max(1, size_.width() - kKeyboardWidth),
                 std::max(1, size_.height() - kRulerHeight));
}

int RollGeometry::X(std::int64_t microseconds) const {
    return kKeyboardWidth + Clamped(std::round(static_cast<double>(microseconds - from_) * pixelsPerSecond_ / kMicros));
}

std::int64_t RollGeometry::TimeAt(int x) const {
    return from_ + static_cast<std::int64_t>(std::llround((x - kKeyboardWidth) * kMicros / pixelsPerSecond_));
}

int RollGeometry::RowTop(int key) const {
    const QRect area = NoteArea();
    const std::int64_t rows = highKey_ - lowKey_ + 1;
    const std::int64_t fromTop = std::clamp<std::int64_t>(highKey_ - key, 0, rows);
    return area.top() + static_cast<int>(fromTop * area.height() / rows);
}

QColor NoteColour(int channel, int velocity) {
    const int value = 90 + std::clamp(velocity, 0, 127) * 165 / 127;
    const int hue = kHues[static_cast<std::size_t>(std::clamp(channel, 0, 15))];
    return QColor::fromHsv(hue, channel == kDrumChannel ? 70 : 200, value);
}

void PaintRoll(QPainter& painter, const RollGeometry& geometry, const RollLayout& layout, const RollLayout* ghost,
               std::int64_t playhead) {
    PaintBackground(painter, geometry, layout);
    if (ghost != nullptr) PaintNotes(painter, geometry, *ghost, &kGhost);
    PaintNotes(painter, geometry, layout, nullptr);
    PaintRuler(painter, geometry);
    PaintKeyboard(painter, geometry);
    PaintPlayhead(painter, geometry, playhead);
}

void PaintPlayhead(QPainter& painter, const RollGeometry& geometry, std::int64_t playhead) {
    if (playhead < 0) return;
    const int x = geometry.X(playhead);
    const QRect area = geometry.NoteArea();
    if (x >= area.left() && x <= area.right()) painter.fillRect(x, 0, 2, geometry.Size().height(), kPlayhead);
}

QImage DrawRoll(QSize size, const RollLayout& layout, const RollLayout* ghost) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter painter(&image);
    PaintRoll(painter, RollGeometry::Fit(size, layout, ghost), layout, ghost);
    return image;
}

}  // namespace solvane
