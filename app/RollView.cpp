#include "app/RollView.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace solvane {
namespace {

constexpr double kMicros = 1'000'000;
constexpr double kMostPixelsPerSecond = 4000;  // a few pixels for the shortest step of a play's timer
constexpr double kZoomStep = 1.25;

}  // namespace

RollView::RollView(QWidget* parent) : QAbstractScrollArea(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(240, 160);
}

void RollView::SetLayouts(const RollLayout* shown, const RollLayout* ghost, bool fit) {
    shown_ = shown;
    ghost_ = ghost;
    if (fit) fit_ = true;
    UpdateScrollBar();
    Redraw();
}

void RollView::SetPlayhead(std::int64_t microseconds) {
    if (microseconds == playhead_) return;
    playhead_ = microseconds;
    // A playhead running off the shown part takes the view a page on.
    if (playhead_ >= 0 && !fit_) {
        const RollGeometry g = Geometry();
        const int x = g.X(playhead_);
        if (x > g.NoteArea().right() || x < g.NoteArea().left()) {
            horizontalScrollBar()->setValue(static_cast<int>(
                std::llround(static_cast<double>(playhead_) * pixelsPerSecond_ / kMicros)));
        }
    }
    viewport()->update();
}

std::int64_t RollView::Length() const {
    std::int64_t length = shown_ != nullptr ? shown_->length : 0;
    if (ghost_ != nullptr) length = std::max(length, ghost_->length);
    return std::max<std::int64_t>(length, 1'000'000);
}

double RollView::FitPixelsPerSecond() const {
    const int width = std::max(1, viewport()->width() - RollGeometry::kKeyboardWidth);
    return width * kMicros / static_cast<double>(Length());
}

RollGeometry RollView::Geometry() const {
    const double pixelsPerSecond = fit_ ? FitPixelsPerSecond() : pixelsPerSecond_;
    const std::int64_t from =
        fit_ ? 0 : static_cast<std::int64_t>(std::llround(horizontalScrollBar()->value() * kMicros / pixelsPerSecond));
    int low = 60;
    int high = 71;
    if (shown_ != nullptr) {
        low = shown_->lowKey;
        high = shown_->highKey;
    }
    if (ghost_ != nullptr) {
        low = std::min(low, ghost_->lowKey);
        high = std::max(high, ghost_->highKey);
    }
    return RollGeometry(viewport()->size(), from, pixelsPerSecond, low, high);
}

void RollView::ZoomBy(double factor, int x) {
    const RollGeometry before = Geometry();
    const std::int64_t anchor = before.TimeAt(x);
    const double fitted = FitPixelsPerSecond();
    // The scroll bar counts pixels in an int: a piece of days cannot be shown at the finest zoom.
    const double most = std::max(fitted, std::min(kMostPixelsPerSecond, 2.0e9 * kMicros / static_cast<double>(Length())));
    const double wanted = std::clamp(before.PixelsPerSecond() * factor, fitted, most);
    fit_ = wanted <= fitted * 1.0001;
    pixelsPerSecond_ = wanted;
    UpdateScrollBar();
    if (!fit_) {
        // The moment under the pointer stays under it.
        const double left = static_cast<double>(anchor) * wanted / kMicros - (x - RollGeometry::kKeyboardWidth);
        horizontalScrollBar()->setValue(static_cast<int>(std::llround(left)));
    }
    Redraw();
}

void RollView::ZoomToFit() {
    fit_ = true;
    UpdateScrollBar();
    Redraw();
}

void RollView::UpdateScrollBar() {
    QScrollBar* bar = horizontalScrollBar();
    const int page = std::max(1, viewport()->width() - RollGeometry::kKeyboardWidth);
    if (fit_) {
        bar->setRange(0, 0);
        return;
    }
    const double total = static_cast<double>(Length()) * pixelsPerSecond_ / kMicros;
    bar->setPageStep(page);
    bar->setSingleStep(std::max(1, page / 10));
    bar->setRange(0, static_cast<int>(std::clamp(total - page, 0.0, 2.0e9)));
}

void RollView::Redraw() {
    stale_ = true;
    viewport()->update();
}

QImage RollView::Picture() {
    const QSize size = viewport()->size();
    if (stale_ || cache_.size() != size) {
        cache_ = QImage(size, QImage::Format_RGB32);
        // Without a piece, an empty roll: the keyboard and the axis still say what will show here.
        static const RollLayout kNothing;
        QPainter painter(&cache_);
        PaintRoll(painter, Geometry(), shown_ != nullptr ? *shown_ : kNothing, ghost_);
        stale_ = false;
    }
    QImage shownNow = cache_;
    if (playhead_ >= 0 && shown_ != nullptr) {
        QPainter painter(&shownNow);
        PaintPlayhead(painter, Geometry(), playhead_);
    }
    return shownNow;
}

void RollView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.drawImage(0, 0, Picture());
}

void RollView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBar();
    Redraw();
}

void RollView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (event->modifiers() & Qt::ControlModifier) {
        if (steps != 0) ZoomBy(std::pow(kZoomStep, steps), static_cast<int>(event->position().x()));
        event->accept();
        return;
    }
    // Without Ctrl the wheel moves through time, the roll's only long axis.
    const int delta = event->angleDelta().x() != 0 ? event->angleDelta().x() : event->angleDelta().y();
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() - delta);
    event->accept();
}

void RollView::keyPressEvent(QKeyEvent* event) {
    const int middle = RollGeometry::kKeyboardWidth + (viewport()->width() - RollGeometry::kKeyboardWidth) / 2;
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomBy(kZoomStep, middle);
            break;
        case Qt::Key_Minus:
            ZoomBy(1 / kZoomStep, middle);
            break;
        case Qt::Key_0:
            ZoomToFit();
            break;
        default:
            QAbstractScrollArea::keyPressEvent(event);
    }
}

void RollView::scrollContentsBy(int, int) { Redraw(); }

}  // namespace solvane
