#pragma once
// The preview: a window of its own beside the dialog, showing the loaded
// piece as a piano roll, transformed as Play and Save would transform it with
// the boxes as they are now, the piece as loaded faint behind it when asked,
// and a playhead while a play runs. The dialog owns it and tells it of every
// load and every box; it keeps the layouts it shows. It lays a piece out only
// while shown.

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>

#include "roll/RollLayout.h"
#include "song/Transformation.h"

class QCheckBox;
class QLabel;

namespace solvane {

class MidiF0Data;
class RollView;

inline constexpr const char* kPreviewMenuText = "プレビュー(&P)";
inline constexpr const char* kPreviewTitle = "プレビュー";
inline constexpr const char* kGhostText = "元の曲を薄く表示";
inline constexpr const char* kNoPieceText = "曲が読み込まれていません";
inline constexpr const char* kZoomHintText = "Ctrl+ホイール, +/-: 拡大縮小   0: 全体";

class PreviewWindow : public QWidget {
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget* parent = nullptr);

    // The loaded song (not owned; null for none) and the name of its file.
    // The song must stay until the next SetPiece.
    void SetPiece(const MidiF0Data* loaded, const QString& fileName, Reversals reversals);
    void SetReversals(Reversals reversals);
    void SetGhost(bool shown);
    bool Ghost() const;
    // A play of the piece as shown has just started: the playhead follows
    // it until it ends.
    void FollowPlay();
    void Retranslate();

    const RollLayout& Shown() const { return shown_; }
    RollView* View() const { return view_; }
    // How long the last layout and drawing took, for the curious.
    qint64 LastUpdateMicroseconds() const { return lastUpdate_; }

signals:
    // The user closed the window (not the dialog's end).
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Recompute(bool ghostToo);
    void Follow();
    void UpdateTitle();

    const MidiF0Data* loaded_ = nullptr;
    QString fileName_;
    Reversals reversals_;
    RollLayout shown_;
    RollLayout ghost_;
    RollLayout playing_;  // the event times of the piece a play runs through
    bool stale_ = true;
    bool ghostStale_ = true;
    bool newPiece_ = true;
    RollView* view_ = nullptr;
    QCheckBox* ghostBox_ = nullptr;
    QLabel* hint_ = nullptr;
    QTimer playTimer_;
    QElapsedTimer sinceSent_;
    std::int32_t lastSent_ = -1;
    qint64 lastUpdate_ = 0;
};

}  // namespace solvane
