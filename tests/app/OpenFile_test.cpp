// Files that reach the window without the open dialog: the one named on the
// command line and one dropped from a file manager. Each must end as the same
// file chosen with Load would: the same reports, the same song or none.

#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/CommandLine.h"
#include "app/MainDialog.h"
#include "song/MidiFileLoader.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"
#include "track/MidiTrackData.h"

using solvane::MainDialog;
using solvane::test::Bytes;
using solvane::test::TempFile;

namespace {

enum class How { kLoadButton, kOpenFile, kDrop };

// Where a way of loading leaves the window.
struct Outcome {
    std::vector<std::uint32_t> codes;
    std::vector<solvane::test::TimedEvent> song;  // empty with no song
    int openAsks = 0;
    int playing = 0;
    QString playCaption;
    bool operator==(const Outcome&) const = default;
};

std::unique_ptr<QMimeData> UrlData(const QList<QUrl>& urls) {
    auto data = std::make_unique<QMimeData>();
    data->setUrls(urls);
    return data;
}

// A drop as a file manager makes it: the drag enters, then the drop.
bool Drop(MainDialog& dialog, const QMimeData* data) {
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &drop);
    QCoreApplication::processEvents();  // the load waits for the drop to end
    return drop.isAccepted();
}

// A piece is loaded first, so that what a failed load does to it shows;
// then the file comes in the given way, while a play runs or not.
Outcome Run(How how, const std::string& path, bool playing) {
    const TempFile first(solvane::test::SamplePiece(), "first.mid");
    solvane::MidiTrackData::ResetReaderState();
    solvane::test::FakeFileChooser chooser;
    MainDialog dialog(nullptr);
    chooser.QueueOpen(first.path());
    dialog.Control(solvane::kIdLoad)->click();
    if (playing) {  // what Play leaves while the piece sounds
        solvane::g_playing = 1;
        dialog.Control(solvane::kIdPlay)->setText(QString::fromUtf8(solvane::kStopCaption));
    }
    solvane::test::RecordingSink sink;
    if (how == How::kLoadButton) {
        chooser.QueueOpen(path);
        dialog.Control(solvane::kIdLoad)->click();
    } else if (how == How::kOpenFile) {
        dialog.OpenFile(path);
    } else if (!Drop(dialog, UrlData({QUrl::fromLocalFile(QString::fromStdString(path))}).get())) {
        return {};
    }
    Outcome outcome{sink.codes(), {}, chooser.openAsks - 1, solvane::g_playing.exchange(0),
                    dialog.Control(solvane::kIdPlay)->text()};
    if (solvane::g_loader && solvane::g_loader->song) {
        outcome.song = solvane::test::TimedEvents(*solvane::g_loader->song->track);
    }
    return outcome;
}

}  // namespace

class OpenFileTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { solvane::g_loader.reset(); }

    void fileGivenOrDroppedLoadsAsLoadDoes_data() {
        QTest::addColumn<Bytes>("content");
        QTest::addColumn<bool>("playing");
        const Bytes zeroTempo = solvane::test::SmfBuilder()
                                    .Header(1, 2, 96)
                                    .Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40, 0x00, 0xFF, 0x2F, 0x00})
                                    .Track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0, 0x00, 0xFF, 0x2F, 0x00})
                                    .Bytes();
        QTest::newRow("a piece") << solvane::test::SamplePiece() << false;
        QTest::newRow("a piece with a zero tempo, while playing") << zeroTempo << true;
        QTest::newRow("an .rmi file") << solvane::test::RiffFile("RMID", {{"data", zeroTempo}}) << false;
        QTest::newRow("a WAV file, while playing") << solvane::test::RiffFile("WAVE", {{"data", zeroTempo}}) << true;
        QTest::newRow("no such file, while playing") << Bytes{} << true;
    }

    void fileGivenOrDroppedLoadsAsLoadDoes() {
        QFETCH(Bytes, content);
        QFETCH(bool, playing);
        const auto file = content.empty() ? std::make_unique<TempFile>("absent.mid")
                                          : std::make_unique<TempFile>(content, "piece.mid");
        Outcome expected = Run(How::kLoadButton, file->path(), playing);
        QCOMPARE(expected.openAsks, 1);
        QCOMPARE(expected.playing, playing ? 1 : 0);
        expected.openAsks = 0;  // the file was chosen already
        QVERIFY(Run(How::kOpenFile, file->path(), playing) == expected);
        QVERIFY(Run(How::kDrop, file->path(), playing) == expected);
    }

    // The first local file of a drag is taken; a drag with none is refused
    // and leaves the loaded piece as it was, without a word.
    void onlyALocalFileIsTakenFromADrop() {
        const TempFile piece(solvane::test::SamplePiece(), "piece.mid");
        const QTemporaryDir folder;
        const QUrl local = QUrl::fromLocalFile(QString::fromStdString(piece.path()));
        const QUrl remote(QStringLiteral("https://host.invalid/piece.mid"));
        const QUrl dir = QUrl::fromLocalFile(folder.path());
        const QList<QList<QUrl>> taken = {{local}, {dir, local}, {remote, local}};
        const QList<QList<QUrl>> refused = {{remote}, {dir}, {}};
        for (const QList<QUrl>& urls : taken) {
            QCOMPARE(MainDialog::DroppedFile(UrlData(urls).get()), local.toLocalFile());
        }
        solvane::test::FakeFileChooser chooser;
        MainDialog dialog(nullptr);
        dialog.OpenFile(piece.path());
        const auto* song = solvane::g_loader->song.get();
        solvane::test::RecordingSink sink;
        for (const QList<QUrl>& urls : refused) QVERIFY(!Drop(dialog, UrlData(urls).get()));
        QMimeData text;
        text.setText(QString::fromStdString(piece.path()));
        QVERIFY(!Drop(dialog, &text));
        QVERIFY(solvane::g_loader != nullptr && solvane::g_loader->song.get() == song);
        QVERIFY(sink.reports().empty());
        QCOMPARE(chooser.openAsks, 0);
    }

    void commandLineNamesOneFileOrAsksForHelpOrVersion() {
        using Action = solvane::CommandLine::Action;
        const struct {
            std::vector<std::string> args;
            Action action;
            std::string file;
        } cases[] = {
            {{}, Action::kRun, ""},
            {{"/tmp/a b.rmi"}, Action::kRun, "/tmp/a b.rmi"},
            {{"file:///tmp/a%20b.mid"}, Action::kRun, "/tmp/a b.mid"},
            {{"--", "-odd.mid"}, Action::kRun, "-odd.mid"},
            {{"-h", "song.mid"}, Action::kHelp, ""},
            {{"--version"}, Action::kVersion, ""},
            {{"a.mid", "b.mid"}, Action::kUsageError, ""},
            {{"-platform", "xcb"}, Action::kUsageError, ""},
        };
        for (const auto& c : cases) {
            const solvane::CommandLine line = solvane::ParseCommandLine(c.args);
            QCOMPARE(line.action, c.action);
            QCOMPARE(line.file, c.file);
            QCOMPARE(line.problem.empty(), c.action != Action::kUsageError);
        }
    }
};

SOLVANE_APP_SUITE(OpenFileTest);

#include "OpenFile_test.moc"
