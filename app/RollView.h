#pragma once
// The preview's drawing surface: a piano roll that zooms in time (Ctrl+wheel,
// + and -, 0 for the whole piece) and scrolls sideways, with a playhead. It
// shows layouts its owner keeps; the picture is drawn once per change into a
// cache, so that a moving playhead costs only a line.

#include <QAbstractScrollArea>
#include <QImage>
#include <cstdint>

#include "roll/RollLayout.h"
#include "roll/RollPicture.h"

namespace solvane {

class RollView : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit RollView(QWidget* parent = nullptr);

    // shown (and ghost, when not null) stay the owner's and must outlive
    // their showing. fit: back to the whole piece, for a new one; else the
    // zoom and place stay, for the same piece changed.
    void SetLayouts(const RollLayout* shown, const RollLayout* ghost, bool fit);
    // The playhead at that time; negative: none.
    void SetPlayhead(std::int64_t microseconds);
    std::int64_t Playhead() const { return playhead_; }
    // Zooms by factor keeping the moment under column x where it is.
    void ZoomBy(double factor, int x);
    void ZoomToFit();
    // How the view maps the piece onto its surface now.
    RollGeometry Geometry() const;
    // The picture as it is shown, playhead included.
    QImage Picture();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    double FitPixelsPerSecond() const;
    std::int64_t Length() const;
    void UpdateScrollBar();
    void Redraw();

    const RollLayout* shown_ = nullptr;
    const RollLayout* ghost_ = nullptr;
    double pixelsPerSecond_ = 100;
    bool fit_ = true;
    std::int64_t playhead_ = -1;
    QImage cache_;
    bool stale_ = true;
};

}  // namespace solvane
