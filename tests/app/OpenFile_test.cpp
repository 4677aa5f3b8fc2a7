// Files that reach the window without the open dialog: the one named on the
// command line and one dropped from a file manager. Each must end as the same
// file chosen with Load would: the same reports, the same song or none.

#include <QAbstractButton>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MainDialog.h"
#include "song/MidiFileLoader.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"
#include "track/MidiTrackData.h"

using solvane::g_loader;
using solvane::g_playing;
using solvane::MainDialog;
using solvane::test::Bytes;
using solvane::test::FakeFileChooser;
using solvane::test::RecordingSink;
using solvane::test::SmfBuilder;
using solvane::test::TempFile;

namespace {

enum class How { kLoadButton, kOpenFile, kDrop };

// Where a way of loading leaves the window.
struct Outcome {
    std::vector<std::uint32_t> codes;
    bool loaded = false;
    std::vector<solvane::test::TimedEvent> timeline;
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
    const QPointF where(20, 20);
    QDragEnterEvent enter(where.toPoint(), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(where, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dialog, &drop);
    QCoreApplication::processEvents();  // the load waits for the drop to end
    return drop.isAccepted();
}

// A piece is loaded first, so that what a failed load does to it shows;
// then the file comes in the given way, while a play runs or not.
Outcome Run(How how, const std::string& path, bool playing) {
    const TempFile first(solvane::test::SamplePiece(), "first.mid");
    solvane::MidiTrackData::ResetReaderState();
    FakeFileChooser chooser;
    MainDialog dialog(nullptr);
    chooser.QueueOpen(first.path());
    dialog.Control(solvane::kIdLoad)->click();
    if (playing) {
        // What Play leaves while the piece sounds.
        g_playing = 1;
        dialog.Control(solvane::kIdPlay)->setText(QString::fromUtf8(solvane::kStopCaption));
    }
    RecordingSink sink;
    const int asksBefore = chooser.openAsks;
    switch (how) {
        case How::kLoadButton:
            chooser.QueueOpen(path);
            dialog.Control(solvane::kIdLoad)->click();
            break;
        case How::kOpenFile:
            dialog.OpenFile(path);
            break;
        case How::kDrop: {
            const auto data = UrlData({QUrl::fromLocalFile(QString::fromStdString(path))});
            if (!Drop(dialog, data.get())) return {};
            break;
        }
    }
    Outcome outcome;
    outcome.codes = sink.codes();
    outcome.loaded = g_loader != nullptr && g_loader->song != nullptr;
    if (outcome.loaded) outcome.timeline = solvane::test::Timeline(*g_loader->song->track);
    outcome.openAsks = chooser.openAsks - asksBefore;
    outcome.playing = g_playing.load();
    outcome.playCaption = dialog.Control(solvane::kIdPlay)->text();
    g_playing = 0;
    return outcome;
}

}  // namespace

class OpenFileTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        g_playing = 0;
        g_loader.reset();
    }

    void fileGivenOrDroppedLoadsAsLoadDoes_data() {
        QTest::addColumn<Bytes>("content");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("playing");
        const Bytes format1 = SmfBuilder()
                                  .Header(1, 2, 96)
                                  .Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40, 0x00, 0xFF, 0x2F, 0x00})
                                  .Track({0x00, 0xFF, 0x51, 0x03, 0, 0, 0, 0x00, 0xFF, 0x2F, 0x00})
                                  .Bytes();
        QTest::newRow("a piece") << solvane::test::SamplePiece() << true << false;
        QTest::newRow("a piece while playing") << solvane::test::SamplePiece() << true << true;
        QTest::newRow("a piece with a zero tempo") << format1 << true << false;
        QTest::newRow("an .rmi file") << solvane::test::RiffFile("RMID", {{"data", format1}}) << true << false;
        QTest::newRow("format 2") << SmfBuilder().Header(2, 1, 96).Track({0x00, 0xFF, 0x2F, 0x00}).Bytes() << true
                                  << false;
        QTest::newRow("a WAV file") << solvane::test::RiffFile("WAVE", {{"data", format1}}) << true << true;
        QTest::newRow("an empty file") << Bytes{} << true << false;
        QTest::newRow("no such file") << Bytes{} << false << true;
    }

    void fileGivenOrDroppedLoadsAsLoadDoes() {
        QFETCH(Bytes, content);
        QFETCH(bool, exists);
        QFETCH(bool, playing);
        std::unique_ptr<TempFile> file =
            exists ? std::make_unique<TempFile>(content, "piece.mid") : std::make_unique<TempFile>("absent.mid");

        const Outcome byLoad = Run(How::kLoadButton, file->path(), playing);
        QCOMPARE(byLoad.openAsks, 1);
        QVERIFY(byLoad.playing == (playing ? 1 : 0));
        for (How how : {How::kOpenFile, How::kDrop}) {
            const Outcome other = Run(how, file->path(), playing);
            QVERIFY2(other.openAsks == 0, how == How::kDrop ? "drop" : "open");
            Outcome expected = byLoad;
            expected.openAsks = 0;
            QVERIFY2(other == expected, how == How::kDrop ? "drop" : "open");
        }
    }

    void onlyALocalFileIsTakenFromADrop() {
        const TempFile piece(solvane::test::SamplePiece(), "piece.mid");
        const QTemporaryDir folder;
        const QUrl local = QUrl::fromLocalFile(QString::fromStdString(piece.path()));
        const QUrl remote(QStringLiteral("https://host.invalid/piece.mid"));
        const QUrl dir = QUrl::fromLocalFile(folder.path());
        const struct {
            const char* name;
            QList<QUrl> urls;
            bool taken;
        } cases[] = {
            {"one local file", {local}, true},
            {"a folder, then a file", {dir, local}, true},
            {"a remote file, then a local one", {remote, local}, true},
            {"a remote file", {remote}, false},
            {"a folder", {dir}, false},
            {"nothing", {}, false},
        };
        for (const auto& c : cases) {
            const auto data = UrlData(c.urls);
            QCOMPARE(MainDialog::DroppedFile(data.get()).isEmpty(), !c.taken);
            if (c.taken) QCOMPARE(MainDialog::DroppedFile(data.get()), local.toLocalFile());
        }
        QMimeData text;
        text.setText(QString::fromStdString(piece.path()));
        QVERIFY(MainDialog::DroppedFile(&text).isEmpty());
        QVERIFY(MainDialog::DroppedFile(nullptr).isEmpty());
    }

    void aRefusedDropLeavesTheLoadedPieceAndSaysNothing() {
        const TempFile piece(solvane::test::SamplePiece(), "piece.mid");
        FakeFileChooser chooser;
        MainDialog dialog(nullptr);
        chooser.QueueOpen(piece.path());
        dialog.Control(solvane::kIdLoad)->click();
        QVERIFY(g_loader != nullptr);
        const auto* song = g_loader->song.get();
        RecordingSink sink;
        const auto remote = UrlData({QUrl(QStringLiteral("https://host.invalid/piece.mid"))});
        QVERIFY(!Drop(dialog, remote.get()));
        QVERIFY(dialog.acceptDrops());
        QVERIFY(g_loader != nullptr && g_loader->song.get() == song);
        QVERIFY(sink.reports().empty());
        QCOMPARE(chooser.openAsks, 1);
    }

    void commandLineNamesOneFileOrAsksForHelpOrVersion() {
        using Action = solvane::CommandLine::Action;
        const struct {
            std::vector<std::string> args;
            Action action;
            std::string file;
        } cases[] = {
            {{}, Action::kRun, ""},
            {{"song.mid"}, Action::kRun, "song.mid"},
            {{"/tmp/a b.rmi"}, Action::kRun, "/tmp/a b.rmi"},
            {{"file:///tmp/a%20b.mid"}, Action::kRun, "/tmp/a b.mid"},
            {{"--", "-odd.mid"}, Action::kRun, "-odd.mid"},
            {{"-"}, Action::kRun, "-"},
            {{"--help"}, Action::kHelp, ""},
            {{"-h", "song.mid"}, Action::kHelp, ""},
            {{"--version"}, Action::kVersion, ""},
            {{"-v"}, Action::kVersion, ""},
            {{"a.mid", "b.mid"}, Action::kUsageError, ""},
            {{"--lang", "en"}, Action::kUsageError, ""},
            {{"-platform", "xcb"}, Action::kUsageError, ""},
        };
        for (const auto& c : cases) {
            const solvane::CommandLine line = solvane::ParseCommandLine(c.args);
            QCOMPARE(line.action, c.action);
            QCOMPARE(line.file, c.file);
            QCOMPARE(line.problem.empty(), c.action != Action::kUsageError);
        }
    }

    // The program itself: what it prints and exits with before any window.
    void programAnswersHelpVersionAndWrongLinesWithoutAWindow() {
        const struct {
            QStringList args;
            int status;
            const char* out;
            const char* err;
        } cases[] = {
            {{QStringLiteral("--help")}, 0, "usage: solvane [FILE]", ""},
            {{QStringLiteral("--version")}, 0, "solvane 1.0.0.1\n", ""},
            {{QStringLiteral("--bogus")}, 64, "", "solvane: unknown option --bogus\nusage: solvane [FILE]"},
            {{QStringLiteral("a.mid"), QStringLiteral("b.mid")}, 64, "", "solvane: one file at a time\n"},
        };
        for (const auto& c : cases) {
            QProcess program;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove(QStringLiteral("DISPLAY"));
            environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
            program.setProcessEnvironment(environment);
            program.start(QStringLiteral(SOLVANE_APP), c.args);
            QVERIFY(program.waitForFinished(10000));
            QCOMPARE(program.exitCode(), c.status);
            // Each begins as expected, and is empty where nothing is expected.
            const QString out = QString::fromUtf8(program.readAllStandardOutput());
            const QString err = QString::fromUtf8(program.readAllStandardError());
            QCOMPARE(out.left(QString::fromUtf8(c.out).size()), QString::fromUtf8(c.out));
            QCOMPARE(err.left(QString::fromUtf8(c.err).size()), QString::fromUtf8(c.err));
            QCOMPARE(out.isEmpty(), c.out[0] == 0);
            QCOMPARE(err.isEmpty(), c.err[0] == 0);
        }
    }
};

SOLVANE_APP_SUITE(OpenFileTest);

#include "OpenFile_test.moc"
