// The preview window beside the dialog: opened from the menu or Ctrl+P and
// remembered, redrawn at once by a load and by each box, and a playhead that
// follows what the sequencer publishes.

#include <QAction>
#include <QApplication>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>
#include <QCheckBox>
#include <QTemporaryDir>
#include <QMenu>
#include <QTest>

#include "app/MainDialog.h"
#include "app/PreviewWindow.h"
#include "app/RollView.h"
#include "app/Settings.h"
#include "playback/MusicPlayer.h"
#include "roll/RollLayout.h"
#include "song/MidiFileLoader.h"
#include "song/Transformation.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/SmfBuilder.h"

using solvane::MainDialog;
using solvane::PreviewWindow;
using solvane::test::TempFile;

namespace {

std::vector<int> Keys(const solvane::RollLayout& layout) {
    std::vector<int> keys;
    for (const solvane::RollNote& note : layout.notes) keys.push_back(note.key);
    return keys;
}

std::vector<std::int64_t> Times(const solvane::RollLayout& layout) {
    std::vector<std::int64_t> times;
    for (const solvane::RollNote& note : layout.notes) times.insert(times.end(), {note.start, note.end});
    return times;
}

}  // namespace

class PreviewTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        solvane::musicPlayer.sent = -1;
        solvane::musicPlayer.idle = 1;
    }

    void ctrlPOpensItAndTheChoicePlaceAndSizeAreKeptForTheNextRun() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("solvane.conf"));
        const QRect placed(120, 140, 700, 420);
        {
            solvane::Settings settings(file);
            MainDialog dialog(nullptr);
            dialog.UseSettings(&settings);
            dialog.show();
            dialog.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            QVERIFY(!dialog.Preview()->isVisible());
            QTest::keyClick(&dialog, Qt::Key_P, Qt::ControlModifier);
            QVERIFY(dialog.Preview()->isVisible());
            QVERIFY(dialog.PreviewAction()->isChecked());
            dialog.Preview()->setGeometry(placed);
            dialog.Preview()->findChild<QCheckBox*>(QStringLiteral("ghost"))->setChecked(true);
            dialog.done(0);  // the program's end leaves it open for the next start
        }
        QVERIFY(solvane::Settings(file).PreviewOpen());
        QVERIFY(solvane::Settings(file).PreviewGhost());
        {
            solvane::Settings settings(file);
            MainDialog dialog(nullptr);
            dialog.UseSettings(&settings);
            QVERIFY(dialog.Preview()->isVisible());
            QCOMPARE(dialog.Preview()->size(), placed.size());
            QVERIFY(dialog.Preview()->Ghost());
            dialog.Preview()->close();  // the user closing it is a choice too
            QVERIFY(!dialog.PreviewAction()->isChecked());
        }
        QVERIFY(!solvane::Settings(file).PreviewOpen());
    }

    void aLoadAndEachBoxRedrawItAtOnceAsPlayWouldTransform() {
        const TempFile piece(solvane::test::SamplePiece(), "sample.mid");
        MainDialog dialog(nullptr);
        dialog.SetPreviewShown(true);
        PreviewWindow* preview = dialog.Preview();
        QVERIFY(preview->windowTitle().contains(QStringLiteral("プレビュー")));
        dialog.OpenFile(piece.path());
        QVERIFY(solvane::g_loader && solvane::g_loader->song);
        QVERIFY(preview->windowTitle().startsWith(QStringLiteral("sample.mid")));
        const auto& loaded = *solvane::g_loader->song;
        QCOMPARE(Keys(preview->Shown()), Keys(solvane::LayOutRoll(*solvane::PlayableCopy(loaded, {}))));
        const QImage before = preview->View()->Picture();
        const struct {
            int box;
            solvane::Reversals reversals;
        } ticks[] = {{solvane::kIdVertical, {false, true}}, {solvane::kIdHorizontal, {true, true}},
                     {solvane::kIdVertical, {true, false}}};
        for (const auto& tick : ticks) {
            QTest::mouseClick(dialog.Control(tick.box), Qt::LeftButton);
            const solvane::RollLayout expected = solvane::LayOutRoll(*solvane::PlayableCopy(loaded, tick.reversals));
            QCOMPARE(Keys(preview->Shown()), Keys(expected));
            QCOMPARE(preview->Shown().length, expected.length);
            QVERIFY(preview->View()->Picture() != before);
        }
        QVERIFY(Keys(preview->Shown()) != Keys(solvane::LayOutRoll(*solvane::PlayableCopy(loaded, {false, true}))));
        // The musical item changes the mirror of a piece that sets its tempo,
        // and so the picture.
        const TempFile timed(solvane::test::SmfBuilder()
                                 .Header(0, 1, 96)
                                 .Track({0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0, 0x00, 0x90, 60, 100, 0x60, 0x80, 60,
                                         0x40, 0x00, 0x90, 62, 100, 0x60, 0x80, 62, 0x40, 0x00, 0xFF, 0x2F, 0x00})
                                 .Bytes(),
                             "timed.mid");
        dialog.OpenFile(timed.path());
        const solvane::RollLayout mirror = preview->Shown();
        dialog.SystemMenu()->findChild<QAction*>(QStringLiteral("musicalAction"))->trigger();
        const solvane::RollLayout musical =
            solvane::LayOutRoll(*solvane::PlayableCopy(*solvane::g_loader->song, {true, false, true}));
        QVERIFY(Times(musical) != Times(mirror));
        QCOMPARE(Times(preview->Shown()), Times(musical));
    }

    void zoomKeepsTheMomentUnderThePointerAndScrollsThroughTheWholePiece() {
        const TempFile piece(solvane::test::SamplePiece(), "sample.mid");
        MainDialog dialog(nullptr);
        dialog.SetPreviewShown(true);
        dialog.OpenFile(piece.path());
        solvane::RollView* view = dialog.Preview()->View();
        // A piece shorter than a second still gets a second of axis.
        const std::int64_t length = std::max<std::int64_t>(dialog.Preview()->Shown().length, 1000000);
        const int x = solvane::RollGeometry::kKeyboardWidth + 150;
        const std::int64_t under = view->Geometry().TimeAt(x);
        QCOMPARE(view->Geometry().X(length), view->viewport()->width());  // the whole piece at first
        QWheelEvent wheel(QPointF(x, 60), view->mapToGlobal(QPointF(x, 60)), {}, QPoint(0, 3 * 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view->viewport(), &wheel);
        const double pixelsPerSecond = view->Geometry().PixelsPerSecond();
        QVERIFY(pixelsPerSecond >
                1.9 * (view->viewport()->width() - solvane::RollGeometry::kKeyboardWidth) * 1e6 / static_cast<double>(length));
        QVERIFY(static_cast<double>(std::abs(view->Geometry().TimeAt(x) - under)) < 1e6 / pixelsPerSecond);
        QVERIFY(view->horizontalScrollBar()->maximum() > 0);
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->maximum());
        QVERIFY(std::abs(view->Geometry().X(length) - view->viewport()->width()) <= 1);  // the end reached
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Minus);
        QVERIFY(view->Geometry().PixelsPerSecond() < pixelsPerSecond);
        QTest::keyClick(view, Qt::Key_0);
        QCOMPARE(view->Geometry().X(length), view->viewport()->width());
        QCOMPARE(view->horizontalScrollBar()->maximum(), 0);
    }

    void thePlayheadFollowsTheEventsTheSequencerPublishesAndGoesAtTheEnd() {
        const TempFile piece(solvane::test::SamplePiece(), "sample.mid");
        MainDialog dialog(nullptr);
        dialog.SetPreviewShown(true);
        dialog.OpenFile(piece.path());
        PreviewWindow* preview = dialog.Preview();
        const auto& times = preview->Shown().eventTimes;
        QVERIFY(times.size() > 4);
        // What a sequencer does as it plays: a play claimed, then events sent.
        solvane::musicPlayer.idle = 0;
        preview->FollowPlay();
        QCOMPARE(preview->View()->Playhead(), 0);
        solvane::musicPlayer.sent = 3;
        // Between the third event and the fourth, never past the fourth.
        QTRY_VERIFY(preview->View()->Playhead() >= times[2]);
        QTRY_COMPARE(preview->View()->Playhead(), times[3]);
        // Released, the play is over.
        solvane::musicPlayer.sent = -1;
        solvane::musicPlayer.idle = 1;
        QTRY_COMPARE(preview->View()->Playhead(), -1);
        // A click while stopped starts nothing and places nothing.
        QTest::mouseClick(preview->View()->viewport(), Qt::LeftButton, {}, QPoint(200, 100));
        QCOMPARE(preview->View()->Playhead(), -1);
        QCOMPARE(solvane::g_playing.load(), 0);
    }
};

SOLVANE_APP_SUITE(PreviewTest);

#include "Preview_test.moc"
