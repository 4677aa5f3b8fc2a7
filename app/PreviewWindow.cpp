#include "app/PreviewWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <string_view>

#include "app/AppTexts.h"
#include "app/RollView.h"
#include "platform/Installed.h"
#include "platform/MessageSink.h"
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"

namespace solvane {
namespace {

constexpr int kFollowEvery = 30;  // milliseconds: a smooth playhead

// The preview lays the piece out at every tick of a box: what a play of it
// would report is for the play to say, not for a box to repeat each time.
class HeldBackReports : public MessageSink {
public:
    HeldBackReports() : previous_(Installed<MessageSink>::Current()) { InstallMessageSink(this); }
    ~HeldBackReports() override { InstallMessageSink(previous_); }
    HeldBackReports(const HeldBackReports&) = delete;
    HeldBackReports& operator=(const HeldBackReports&) = delete;
    void Show(std::string_view, std::uint32_t, std::string_view) override {}

private:
    MessageSink* previous_;
};

}  // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("preview"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    auto* bar = new QHBoxLayout;
    ghostBox_ = new QCheckBox(this);
    ghostBox_->setObjectName(QStringLiteral("ghost"));
    hint_ = new QLabel(this);
    bar->addWidget(ghostBox_);
    bar->addStretch();
    bar->addWidget(hint_);
    column->addLayout(bar);
    view_ = new RollView(this);
    column->addWidget(view_, 1);
    connect(ghostBox_, &QCheckBox::toggled, this, [this](bool shown) {
        if (shown && ghostStale_) Recompute(true);
        view_->SetLayouts(&shown_, shown ? &ghost_ : nullptr, false);
    });
    playTimer_.setInterval(kFollowEvery);
    connect(&playTimer_, &QTimer::timeout, this, &PreviewWindow::Follow);
    resize(900, 480);
    Retranslate();
}

void PreviewWindow::SetPiece(const MidiF0Data* loaded, const QString& fileName, Reversals reversals) {
    loaded_ = loaded;
    fileName_ = fileName;
    reversals_ = reversals;
    stale_ = ghostStale_ = newPiece_ = true;
    UpdateTitle();
    if (isVisible()) Recompute(Ghost());
}

void PreviewWindow::SetReversals(Reversals reversals) {
    reversals_ = reversals;
    stale_ = true;
    if (isVisible()) Recompute(false);
}

void PreviewWindow::SetGhost(bool shown) { ghostBox_->setChecked(shown); }

bool PreviewWindow::Ghost() const { return ghostBox_->isChecked(); }

void PreviewWindow::Recompute(bool ghostToo) {
    QElapsedTimer took;
    took.start();
    {
        const HeldBackReports quiet;
        if (stale_) {
            shown_ = loaded_ != nullptr ? LayOutRoll(*PlayableCopy(*loaded_, reversals_)) : RollLayout{};
            stale_ = false;
        }
        if (ghostToo && ghostStale_) {
            ghost_ = loaded_ != nullptr ? LayOutRoll(*PlayableCopy(*loaded_, {})) : RollLayout{};
            ghostStale_ = false;
        }
    }
    view_->SetLayouts(loaded_ != nullptr ? &shown_ : nullptr, Ghost() && !ghostStale_ ? &ghost_ : nullptr, newPiece_);
    newPiece_ = false;
    // Drawn now, not at the next paint, so that the time is the whole of it.
    view_->Picture();
    view_->viewport()->update();
    lastUpdate_ = took.nsecsElapsed() / 1000;
}

void PreviewWindow::FollowPlay() {
    if (stale_ || (Ghost() && ghostStale_)) Recompute(Ghost());
    playing_.eventTimes = shown_.eventTimes;
    lastSent_ = -2;
    view_->SetPlayhead(0);
    playTimer_.start();
}

// The sequencer publishes how many events it has sent; between two events
// the playhead runs on with the clock, stopping at the next one's time, so
// it moves smoothly and never runs ahead of the play.
void PreviewWindow::Follow() {
    const std::int32_t sent = musicPlayer.sent.load(std::memory_order_acquire);
    if (sent < 0) {
        if (musicPlayer.idle.load() == 1) {
            playTimer_.stop();
            view_->SetPlayhead(-1);
        }
        return;
    }
    if (sent != lastSent_) {
        lastSent_ = sent;
        sinceSent_.start();
    }
    std::int64_t time = std::max<std::int64_t>(TimeOfSent(playing_, sent), 0);
    time += sinceSent_.nsecsElapsed() / 1000;
    const auto next = static_cast<std::size_t>(sent);
    if (next < playing_.eventTimes.size() && playing_.eventTimes[next] >= 0) {
        time = std::min(time, playing_.eventTimes[next]);
    }
    view_->SetPlayhead(time);
}

void PreviewWindow::Retranslate() {
    ghostBox_->setText(UiText(kGhostText));
    hint_->setText(UiText(kZoomHintText));
    UpdateTitle();
}

void PreviewWindow::UpdateTitle() {
    const QString name = fileName_.isEmpty() ? UiText(kNoPieceText) : QFileInfo(fileName_).fileName();
    setWindowTitle(QStringLiteral("%1 \u2014 %2").arg(name, UiText(kPreviewTitle)));
}

void PreviewWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_ || (Ghost() && ghostStale_)) Recompute(Ghost());
}

void PreviewWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (event->isAccepted()) emit Closed();
}

}  // namespace solvane
