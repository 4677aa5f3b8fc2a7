// The Play/Stop button against a recording output and a timer the test fires.

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <optional>
#include <thread>

#include "app/MainDialog.h"
#include "app/UiTimer.h"
#include "playback/MidiControler.h"
#include "playback/MusicPlayer.h"
#include "song/MidiFileLoader.h"
#include "support/General.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/ManualTimer.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/RefusingThreadStarter.h"
#include "tests/support/SmfBuilder.h"
#include "track/MidiTrackData.h"

using solvane::g_loader;
using solvane::g_playing;
using solvane::MainDialog;
using solvane::musicPlayer;
using solvane::test::Count;
using solvane::test::FakeFileChooser;
using solvane::test::ManualTimer;
using solvane::test::RecordingMidiOut;
using solvane::test::RecordingSink;
using solvane::test::SmfBuilder;
using solvane::test::TempFile;

namespace {

// Two notes on channel 0, keys 60 then 64, a quarter note each.
solvane::test::Bytes TwoNotes() {
    return SmfBuilder()
        .Header(0, 1, 96)
        .Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0x90, 64, 100, 0x60, 0x80, 64, 0, 0x00, 0xFF, 0x2F, 0x00})
        .Bytes();
}

// Counts the paint events of the object it watches.
class PaintCounter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++count;
        return QObject::eventFilter(watched, event);
    }
    int count = 0;
};

std::vector<std::string> NoteOns(const RecordingMidiOut& out) {
    std::vector<std::string> ons;
    for (const std::string& line : out.lines()) {
        if (line.rfind("90 ", 0) == 0) ons.push_back(line);
    }
    return ons;
}

}  // namespace

class PlayButtonTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RecordingSink> sink;
    std::unique_ptr<FakeFileChooser> chooser;
    std::unique_ptr<ManualTimer> timer;
    std::unique_ptr<RecordingMidiOut> out;
    std::unique_ptr<TempFile> file;

    QString Caption(MainDialog& dialog) { return dialog.Control(solvane::kIdPlay)->text(); }

    void LoadTwoNotes(MainDialog& dialog) {
        chooser->QueueOpen(file->path());
        dialog.Control(solvane::kIdLoad)->click();
        QVERIFY(g_loader && g_loader->song);
    }

    // The worker has published its sequencer and waits for the first callback.
    bool Started() {
        return QTest::qWaitFor([this] { return musicPlayer.player.load() != nullptr && !timer->pending().empty(); });
    }

private slots:
    void init() {
        solvane::MidiTrackData::ResetReaderState();
        solvane::MidiControler::reportNoDevice = true;
        g_loader.reset();
        g_playing = 0;
        sink = std::make_unique<RecordingSink>();
        chooser = std::make_unique<FakeFileChooser>();
        timer = std::make_unique<ManualTimer>();
        out = std::make_unique<RecordingMidiOut>();
        file = std::make_unique<TempFile>(TwoNotes());
    }

    void cleanup() {
        musicPlayer.Shutdown();
        QVERIFY(QTest::qWaitFor([] { return musicPlayer.liveWorkers.load() == 0; }));
        g_playing = 0;
        g_loader.reset();
        out.reset();
        timer.reset();
        chooser.reset();
        sink.reset();
    }

    void playWithNoSongDoesNothing() {
        MainDialog dialog(nullptr);
        dialog.Control(solvane::kIdPlay)->click();
        QCOMPARE(Caption(dialog), QStringLiteral("Play"));
        QCOMPARE(g_playing.load(), 0);
        QCOMPARE(out->opens(), 0);
        QVERIFY(sink->reports().empty());
    }

    void captionReadsStopWhilePlayingAndPlayAgainAtTheEnd() {
        MainDialog dialog(nullptr);
        LoadTwoNotes(dialog);
        dialog.Control(solvane::kIdPlay)->click();
        QCOMPARE(Caption(dialog), QString::fromUtf8("停止"));
        QCOMPARE(g_playing.load(), 1);
        QVERIFY(Started());
        timer->FireAll();
        QTRY_COMPARE(Caption(dialog), QString::fromUtf8("再生"));
        QCOMPARE(g_playing.load(), 0);
        QTRY_COMPARE(musicPlayer.idle.load(), 1);
        const auto lines = out->lines();
        QCOMPARE(Count(lines, "90 3C 64"), 1);
        QCOMPARE(Count(lines, "90 40 64"), 1);
        QCOMPARE(Count(lines, "RESET"), 1);
        QCOMPARE(Count(lines, "CLOSE"), 1);
        QVERIFY(sink->reports().empty());
    }

    void pressingAgainStopsThePlay() {
        MainDialog dialog(nullptr);
        LoadTwoNotes(dialog);
        dialog.Control(solvane::kIdPlay)->click();
        QVERIFY(Started());
        timer->FireNext();  // the first note sounds
        dialog.Control(solvane::kIdPlay)->click();
        QCOMPARE(Caption(dialog), QString::fromUtf8("再生"));
        QCOMPARE(g_playing.load(), 0);
        QTRY_COMPARE(musicPlayer.idle.load(), 1);
        const auto lines = out->lines();
        QCOMPARE(Count(lines, "90 40 64"), 0);  // the second never does
        QCOMPARE(Count(lines, "RESET"), 1);
        QCOMPARE(Count(lines, "CLOSE"), 1);
    }

    void stopStillStopsAfterALoadThatLeftNoSong_data() {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("open dialog cancelled") << true;
        QTest::newRow("file that is not MIDI") << false;
    }

    void stopStillStopsAfterALoadThatLeftNoSong() {
        QFETCH(bool, cancelled);
        const std::string text = "plain text, not a MIDI file";
        const TempFile junk(solvane::test::Bytes(text.begin(), text.end()), "junk.mid");
        MainDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        LoadTwoNotes(dialog);
        dialog.Control(solvane::kIdPlay)->click();
        QVERIFY(Started());
        timer->FireNext();  // the first note sounds

        chooser->QueueOpen(cancelled ? std::nullopt : std::optional<std::string>(junk.path()));
        dialog.Control(solvane::kIdLoad)->click();
        QVERIFY(!g_loader);

        dialog.Control(solvane::kIdPlay)->click();
        QCOMPARE(Caption(dialog), QString::fromUtf8("再生"));
        QCOMPARE(g_playing.load(), 0);
        QTRY_COMPARE(musicPlayer.idle.load(), 1);
        const auto lines = out->lines();
        QCOMPARE(Count(lines, "90 40 64"), 0);
        QCOMPARE(Count(lines, "RESET"), 1);
        QCOMPARE(Count(lines, "CLOSE"), 1);

        dialog.Control(solvane::kIdOk)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void aThreadThatCannotStartIsReportedAndTheButtonStaysUsable() {
        MainDialog dialog(nullptr);
        LoadTwoNotes(dialog);
        {
            solvane::test::RefusingThreadStarter noThreads;
            dialog.Control(solvane::kIdPlay)->click();
        }
        QCOMPARE(sink->codes(), (std::vector<std::uint32_t>{solvane::kGeneralPerformance}));
        QCOMPARE(g_playing.load(), 0);
        QTRY_COMPARE(Caption(dialog), QString::fromUtf8("再生"));
        QCOMPARE(musicPlayer.idle.load(), 1);
        QCOMPARE(out->opens(), 0);

        dialog.Control(solvane::kIdPlay)->click();
        QCOMPARE(Caption(dialog), QString::fromUtf8("停止"));
        QVERIFY(Started());
        dialog.Control(solvane::kIdPlay)->click();
        QCOMPARE(Caption(dialog), QString::fromUtf8("再生"));
        QTRY_COMPARE(musicPlayer.liveWorkers.load(), 0);
        QCOMPARE(Count(out->lines(), "CLOSE"), 1);
        dialog.Control(solvane::kIdOk)->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void theWindowPaintsWhileStopCutsALongPreRollShort() {
        // The window's own timer, in real time: 2,000 controllers before the
        // first note make a pre-roll pause of a minute.
        timer.reset();
        solvane::UiTimer uiTimer;
        solvane::InstallTimer(&uiTimer);
        struct Uninstall {  // no worker may outlive the timer, also when a check fails
            ~Uninstall() {
                musicPlayer.Shutdown();
                solvane::InstallTimer(nullptr);
            }
        } uninstall;
        solvane::test::Bytes body;
        for (int i = 0; i < 2000; ++i) body.insert(body.end(), {0x00, 0xB0, 0x07, 0x64});
        body.insert(body.end(), {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00});
        const TempFile longSetUp(SmfBuilder().Header(0, 1, 96).Track(body).Bytes(), "setup.mid");

        MainDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        chooser->QueueOpen(longSetUp.path());
        dialog.Control(solvane::kIdLoad)->click();
        dialog.Control(solvane::kIdPlay)->click();
        QTRY_COMPARE(static_cast<int>(out->lines().size()), 1 + 2000);  // in the pause now

        PaintCounter paints;
        dialog.installEventFilter(&paints);
        QTimer repaint;
        QObject::connect(&repaint, &QTimer::timeout, &dialog, [&dialog] { dialog.update(); });
        repaint.start(20);
        QElapsedTimer took;
        took.start();
        dialog.Control(solvane::kIdPlay)->click();  // Stop: two polls and the closing second at most
        const qint64 elapsed = took.elapsed();
        repaint.stop();
        dialog.removeEventFilter(&paints);

        QVERIFY2(paints.count >= 2, "the window did not paint while Stop waited");
        QVERIFY2(elapsed < 20000, "Stop waited out the pre-roll");
        QCOMPARE(Caption(dialog), QString::fromUtf8("再生"));
        QTRY_COMPARE(musicPlayer.liveWorkers.load(), 0);
        const auto lines = out->lines();
        QCOMPARE(Count(lines, "90 3C 64"), 0);
        QCOMPARE(Count(lines, "RESET"), 1);
        QCOMPARE(Count(lines, "CLOSE"), 1);
    }

    void bothBoxesPlayTheMirrorInvertedInPitch() {
        MainDialog dialog(nullptr);
        LoadTwoNotes(dialog);
        dialog.Control(solvane::kIdHorizontal)->click();
        dialog.Control(solvane::kIdVertical)->click();
        dialog.Control(solvane::kIdPlay)->click();
        QVERIFY(Started());
        timer->FireAll();
        QTRY_COMPARE(musicPlayer.idle.load(), 1);
        // Keys 60 and 64 turn about 60: 64 first (time mirror) as 56, then 60.
        QCOMPARE(NoteOns(*out), (std::vector<std::string>{"90 38 64", "90 3C 64"}));
        // The loaded song is untouched.
        QCOMPARE(g_loader->song->track->events[0].key, 60);
    }

    void withoutAnOutputTheCaptionComesBackAtOnce() {
        out->deviceCount = 0;
        MainDialog dialog(nullptr);
        LoadTwoNotes(dialog);
        dialog.Control(solvane::kIdPlay)->click();
        QTRY_COMPARE(Caption(dialog), QString::fromUtf8("再生"));
        QCOMPARE(g_playing.load(), 0);
        QCOMPARE(sink->codes(), (std::vector<std::uint32_t>{solvane::kControlerOpenFailed}));
        QCOMPARE(sink->texts(), (std::vector<std::string>{"Midiデバイスのオープンに失敗しました。"}));
    }

    void theWindowsSleepStillDeliversAWorkersReport() {
        // A worker that reports while the UI thread waits in Stop must get its
        // box shown; the window's sleep serves such posted work.
        timer.reset();
        solvane::UiTimer uiTimer;
        std::atomic<bool> shown{false};
        std::atomic<bool> workerDone{false};
        std::thread worker([&] {
            QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { shown = true; },
                                      Qt::BlockingQueuedConnection);
            workerDone = true;
        });
        uiTimer.Sleep(300);
        QVERIFY(shown.load());
        worker.join();
        QVERIFY(workerDone.load());
    }
};

SOLVANE_APP_SUITE(PlayButtonTest);

#include "PlayButton_test.moc"
