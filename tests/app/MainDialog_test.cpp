// The main window: its template, its commands and the values it shares.

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>

#include "app/AboutDialog.h"
#include "app/DialogFont.h"
#include "app/DialogUnits.h"
#include "app/MainDialog.h"
#include "app/Settings.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "song/Transformation.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"
#include "tests/support/SongProbe.h"
#include "track/MidiTrackData.h"

using solvane::g_loader;
using solvane::g_playButton;
using solvane::g_playing;
using solvane::MainDialog;
using solvane::test::Bytes;
using solvane::test::FakeFileChooser;
using solvane::test::RecordingSink;
using solvane::test::SmfBuilder;
using solvane::test::TempFile;

namespace {

constexpr std::uintmax_t kCorpusSizeLimit = 16'384;

QList<uint> Codes(const RecordingSink& sink) {
    QList<uint> codes;
    for (std::uint32_t code : sink.codes()) codes << code;
    return codes;
}

// What Save must write: the core's own steps on a fresh load of the same file.
Bytes CoreResult(const std::string& path, bool horizontal, bool vertical, bool pitchFirst = false) {
    solvane::MidiFileLoader loader(path);
    loader.BuildSong();
    solvane::MidiF0Data copy(*loader.song);
    copy.ToEventForm();
    if (pitchFirst && vertical) copy.ReverseVertical();
    if (horizontal) copy.ReverseHorizontal();
    if (!pitchFirst && vertical) copy.ReverseVertical();
    copy.WriteSmf();
    return Bytes(copy.Bytes(), copy.Bytes() + copy.size);
}

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RecordingSink> sink;
    std::unique_ptr<FakeFileChooser> chooser;

    // Loads the file through the Load button, as a user would.
    static void Load(MainDialog& dialog, FakeFileChooser& files, const std::string& path) {
        files.QueueOpen(path);
        dialog.Control(solvane::kIdLoad)->click();
    }

private slots:
    void init() {
        solvane::MidiTrackData::ResetReaderState();
        g_loader.reset();
        g_playing = 0;
        sink = std::make_unique<RecordingSink>();
        chooser = std::make_unique<FakeFileChooser>();
    }

    void cleanup() {
        g_playing = 0;
        g_loader.reset();
        chooser.reset();
        sink.reset();
    }

    void controlsShowTheirEnglishCaptionsRightAfterStart() {
        MainDialog dialog(nullptr);
        const struct {
            int id;
            const char* caption;
            bool checkBox;
        } expected[] = {
            {1001, "Horizontal Reverse", true}, {1002, "Vertical Reverse", true}, {1000, "Load", false},
            {1004, "Play", false}, {1003, "Save", false}, {1, "OK", false}, {1005, "Help", false},
        };
        for (const auto& item : expected) {
            QAbstractButton* control = dialog.Control(item.id);
            QVERIFY2(control != nullptr, qPrintable(QString::number(item.id)));
            QCOMPARE(control->text(), QString::fromLatin1(item.caption));
            QCOMPARE(qobject_cast<QCheckBox*>(control) != nullptr, item.checkBox);
            QCOMPARE(control->property("controlId").toInt(), item.id);
            QVERIFY(!control->isChecked());
        }
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Solvane"));
        QCOMPARE(g_playButton, qobject_cast<QPushButton*>(dialog.Control(solvane::kIdPlay)));
        QVERIFY(sink->reports().empty());
    }

    void controlsSitWhereTheTemplatePutsThem() {
        MainDialog dialog(nullptr);
        const solvane::DialogUnits units(solvane::DialogFont());
        const struct {
            int id, x, y, w, h;
        } layout[] = {
            {1001, 5, 10, 110, 25}, {1002, 5, 50, 110, 25}, {1000, 10, 95, 60, 25}, {1004, 80, 95, 65, 25},
            {1003, 170, 95, 60, 25}, {1, 60, 140, 55, 20},  {1005, 125, 140, 50, 20},
        };
        for (const auto& item : layout) {
            QCOMPARE(dialog.Control(item.id)->geometry(), units.MapRect(item.x, item.y, item.w, item.h));
            QVERIFY(dialog.Control(item.id)->isVisibleTo(&dialog));
            QCOMPARE(dialog.Control(item.id)->focusPolicy(), Qt::StrongFocus);
        }
        QCOMPARE(dialog.size(), units.MapSize(239, 165));
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
        for (int id : {1000, 1003, 1004, 1005}) QVERIFY(!qobject_cast<QPushButton*>(dialog.Control(id))->isDefault());
        QVERIFY(qobject_cast<QPushButton*>(dialog.Control(solvane::kIdOk))->isDefault());
    }

    void tabOrderFollowsTheTemplateFromTheFirstCheckBox() {
        MainDialog dialog(nullptr);
        QCOMPARE(dialog.focusWidget(), dialog.Control(solvane::kIdHorizontal));
        QList<int> order;
        QWidget* widget = dialog.Control(solvane::kIdHorizontal);
        for (int i = 0; i < 7; ++i) {
            order << widget->property("controlId").toInt();
            widget = widget->nextInFocusChain();
        }
        QCOMPARE(order, (QList<int>{1001, 1002, 1000, 1004, 1003, 1, 1005}));
    }

    void saveWithNoSongIsSilentAndWritesNothing() {
        MainDialog dialog(nullptr);
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdHorizontal))->setChecked(true);
        dialog.Control(solvane::kIdSave)->click();
        QCOMPARE(chooser->saveAsks, 0);
        QVERIFY(sink->reports().empty());
    }

    void savingTwiceWritesIdenticalFiles_data() {
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        QTest::newRow("plain") << false << false;
        QTest::newRow("time") << true << false;
        QTest::newRow("pitch") << false << true;
        QTest::newRow("both") << true << true;
    }

    void savingTwiceWritesIdenticalFiles() {
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);
        const TempFile piece(solvane::test::SamplePiece());
        const TempFile first("first.mid");
        const TempFile second("second.mid");
        MainDialog dialog(nullptr);
        Load(dialog, *chooser, piece.path());
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdHorizontal))->setChecked(horizontal);
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdVertical))->setChecked(vertical);
        chooser->QueueSave(first.path());
        chooser->QueueSave(second.path());
        dialog.Control(solvane::kIdSave)->click();
        dialog.Control(solvane::kIdSave)->click();

        QCOMPARE(chooser->lastFilter, std::string("midi files|*.mid|"));
        QCOMPARE(chooser->lastExtension, std::string("mid"));
        const Bytes a = first.Read();
        QVERIFY(a.size() > 22);
        QVERIFY(a == second.Read());
        QVERIFY(sink->reports().empty());
    }

    void savedPieceIsReversedInTimeThenInPitch_data() {
        QTest::addColumn<bool>("horizontal");
        QTest::addColumn<bool>("vertical");
        QTest::newRow("neither box") << false << false;
        QTest::newRow("horizontal only") << true << false;
        QTest::newRow("vertical only") << false << true;
        QTest::newRow("both boxes") << true << true;
    }

    void savedPieceIsReversedInTimeThenInPitch() {
        QFETCH(bool, horizontal);
        QFETCH(bool, vertical);
        const TempFile piece(solvane::test::SamplePiece());
        const TempFile saved("saved.mid");
        MainDialog dialog(nullptr);
        Load(dialog, *chooser, piece.path());
        QVERIFY(g_loader && g_loader->song);
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdHorizontal))->setChecked(horizontal);
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdVertical))->setChecked(vertical);
        chooser->QueueSave(saved.path());
        dialog.Control(solvane::kIdSave)->click();

        const Bytes expected = CoreResult(piece.path(), horizontal, vertical);
        const Bytes written = saved.Read();
        QCOMPARE(written.size(), expected.size());
        QVERIFY(written == expected);
        // Each box changes the piece, so a box that is ignored shows here.
        if (horizontal || vertical) QVERIFY(written != CoreResult(piece.path(), false, false));
        if (horizontal && vertical) {
            QVERIFY(written != CoreResult(piece.path(), true, false));
            QVERIFY(written != CoreResult(piece.path(), false, true));
            // In this piece the inversion clamps two overlapping notes onto one
            // key, so the other order pairs the note-offs differently.
            QVERIFY(written != CoreResult(piece.path(), true, true, true));
        }
        QVERIFY(sink->reports().empty());
    }

    void musicalItemIsOffUntilChosenKeptAndSavedWith() {
        // A tempo at the start and a pedal: what the item moves.
        const TempFile piece(SmfBuilder()
                                 .Header(0, 1, 96)
                                 .Track({0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0, 0x00, 0xB0, 64, 127, 0x00, 0x90, 60,
                                         100, 0x60, 0x80, 60, 0x40, 0x00, 0xB0, 64, 0, 0x00, 0x90, 62, 100, 0x60, 0x80,
                                         62, 0x40, 0x00, 0xFF, 0x2F, 0x00})
                                 .Bytes());
        const QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("solvane.conf"));
        const TempFile saved("saved.mid");
        Bytes expected;
        {
            solvane::Settings settings(file);
            MainDialog dialog(nullptr);
            dialog.UseSettings(&settings);
            auto* item = dialog.SystemMenu()->findChild<QAction*>(QStringLiteral("musicalAction"));
            QVERIFY(item != nullptr && item->isCheckable());
            QVERIFY(!item->isChecked());
            item->trigger();
            QVERIFY(dialog.Musical());
            Load(dialog, *chooser, piece.path());
            const auto copy = solvane::TransformedCopy(*g_loader->song, {true, false, true});
            copy->WriteSmf();
            expected.assign(copy->Bytes(), copy->Bytes() + copy->size);
            qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdHorizontal))->setChecked(true);
            chooser->QueueSave(saved.path());
            dialog.Control(solvane::kIdSave)->click();
        }
        QVERIFY(saved.Read() == expected);
        QVERIFY(expected != CoreResult(piece.path(), true, false));
        QVERIFY(solvane::Settings(file).Musical());
        MainDialog again(nullptr);
        solvane::Settings kept(file);
        again.UseSettings(&kept);
        QVERIFY(again.Musical());
    }

    void savingLeavesTheLoadedSongUnchanged() {
        const TempFile piece(solvane::test::SamplePiece());
        const TempFile saved("saved.mid");
        MainDialog dialog(nullptr);
        Load(dialog, *chooser, piece.path());
        const solvane::MidiF0Data* song = g_loader->song.get();
        const std::int32_t events = song->track->count();
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdHorizontal))->setChecked(true);
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdVertical))->setChecked(true);
        chooser->QueueSave(saved.path());
        dialog.Control(solvane::kIdSave)->click();
        QCOMPARE(g_loader->song.get(), song);
        QCOMPARE(song->state, solvane::kStateNoteForm);
        QCOMPARE(song->track->count(), events);
    }

    void cancelledLoadLeavesNoSong() {
        const TempFile piece(solvane::test::SamplePiece());
        MainDialog dialog(nullptr);
        Load(dialog, *chooser, piece.path());
        QVERIFY(g_loader && g_loader->song);
        chooser->QueueOpen(std::nullopt);
        dialog.Control(solvane::kIdLoad)->click();
        QCOMPARE(chooser->openAsks, 2);
        QCOMPARE(chooser->lastFilter, std::string("SMF files|*.mid|"));
        QCOMPARE(chooser->lastExtension, std::string("mid"));
        QVERIFY(!g_loader);
        QVERIFY(sink->reports().empty());
        // With no song, Save asks nothing.
        dialog.Control(solvane::kIdSave)->click();
        QCOMPARE(chooser->saveAsks, 0);
    }

    void newLoadReplacesThePreviousSong() {
        const TempFile first(SmfBuilder().Header(0, 1, 96).Track({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes(), "a.mid");
        const TempFile second(SmfBuilder().Header(0, 1, 480).Track({0x00, 0x90, 64, 100, 0x60, 0x80, 64, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes(), "b.mid");
        MainDialog dialog(nullptr);
        Load(dialog, *chooser, first.path());
        QCOMPARE(g_loader->song->division, 96);
        Load(dialog, *chooser, second.path());
        QCOMPARE(g_loader->song->division, 480);
    }

    // A file that starts its track with data bytes loads the same after any
    // other file as it does first thing after start.
    void aFileLoadsTheSameWhateverWasLoadedBefore() {
        const TempFile endsOnChannel3(
            SmfBuilder().Header(0, 1, 96).Track({0x00, 0x93, 50, 90, 0x60, 0x83, 50, 0x40}).Bytes(), "a.mid");
        const TempFile startsWithData(
            SmfBuilder().Header(1, 1, 96).Track({0x00, 60, 100, 0x60, 0x90, 60, 0, 0x00, 0xFF, 0x2F, 0x00}).Bytes(),
            "b.mid");
        std::vector<std::string> seconds = {startsWithData.path(),
                                            SOLVANE_TEST_DATA_DIR "/valid/running-status-across-tracks.mid"};
        const std::filesystem::path levels = solvane::test::CorpusDir() / "valid/midly/Levels.mid";
        if (!solvane::test::CorpusDir().empty() && std::filesystem::exists(levels)) seconds.push_back(levels.string());
        MainDialog dialog(nullptr);
        for (const std::string& second : seconds) {
            solvane::MidiTrackData::ResetReaderState();
            sink->Clear();
            Load(dialog, *chooser, second);
            QVERIFY(g_loader && g_loader->song);
            const auto alone = solvane::test::TimedEvents(*g_loader->song->track);
            const QList<uint> aloneCodes = Codes(*sink);
            Load(dialog, *chooser, endsOnChannel3.path());
            sink->Clear();
            Load(dialog, *chooser, second);
            QVERIFY(g_loader && g_loader->song);
            QVERIFY2(solvane::test::TimedEvents(*g_loader->song->track) == alone, second.c_str());
            QCOMPARE(Codes(*sink), aloneCodes);
        }
    }

    void badFilesEndInTheirMessagesAndNeverCrash_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QList<uint>>("firstCodes");
        QTest::addColumn<bool>("onlyThose");
        QTest::addColumn<bool>("songKept");
        QTest::addColumn<bool>("savable");

        const auto bytes = [](const Bytes& b) {
            return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
        };
        const Bytes note = {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00};
        const Bytes format0 = SmfBuilder().Header(0, 1, 96).Track(note).Bytes();
        const Bytes format1 = SmfBuilder()
                                  .Header(1, 2, 96)
                                  .Track({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00})
                                  .Track(note)
                                  .Bytes();
        Bytes macBinary(128, 0);
        macBinary.insert(macBinary.end(), format0.begin(), format0.end());

        QTest::newRow("missing file") << QByteArray() << false << QList<uint>{3u} << true << false << false;
        QTest::newRow("empty file") << QByteArray() << true << QList<uint>{0x0D000007u} << false << false << false;
        QTest::newRow("plain text") << QByteArray("This is plain text, not music at all.\n") << true
                                    << QList<uint>{0x17000002u} << true << false << false;
        QTest::newRow("format 2") << bytes(SmfBuilder().Header(2, 1, 96).Track(note).Bytes()) << true
                                  << QList<uint>{0x17000002u} << true << false << false;
        QTest::newRow("format 1 without its header")
            << bytes(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 1, 0, 1, 0, 96}) << true << QList<uint>{0x02000004u}
            << true << false << false;
        QTest::newRow("format 1 with no tracks") << bytes(SmfBuilder().Header(1, 0, 96).Bytes()) << true
                                                 << QList<uint>{} << true << false << false;
        // Kept, but with no complete track: Save says so and asks for no name.
        QTest::newRow("format 0 cut inside its track")
            << bytes(Bytes(format0.begin(), format0.begin() + 26)) << true << QList<uint>{0x0D000001u} << false
            << true << false;
        QTest::newRow("format 1 cut inside its second track")
            << bytes(Bytes(format1.begin(), format1.end() - 8)) << true << QList<uint>{0x0D000001u} << false << true
            << true;
        QTest::newRow("MacBinary header in front") << bytes(macBinary) << true << QList<uint>{} << true << true
                                                   << true;
    }

    void badFilesEndInTheirMessagesAndNeverCrash() {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QFETCH(QList<uint>, firstCodes);
        QFETCH(bool, onlyThose);
        QFETCH(bool, songKept);
        QFETCH(bool, savable);

        const TempFile file(exists ? Bytes(content.begin(), content.end()) : Bytes(), "bad.mid");
        if (!exists) std::filesystem::remove(file.path());
        MainDialog dialog(nullptr);
        Load(dialog, *chooser, file.path());

        const QList<uint> codes = Codes(*sink);
        if (onlyThose) {
            QCOMPARE(codes, firstCodes);
        } else {
            QVERIFY2(codes.size() >= firstCodes.size(), qPrintable(QString::number(codes.size())));
            QCOMPARE(codes.mid(0, firstCodes.size()), firstCodes);
        }
        QCOMPARE(g_loader != nullptr, songKept);
        if (songKept) QVERIFY(g_loader->song != nullptr);

        // Whatever was kept can be saved with both boxes without harm.
        const TempFile saved("saved.mid");
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdHorizontal))->setChecked(true);
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdVertical))->setChecked(true);
        chooser->QueueSave(saved.path());
        sink->Clear();
        dialog.Control(solvane::kIdSave)->click();
        QCOMPARE(chooser->saveAsks, savable ? 1 : 0);
        QCOMPARE(std::filesystem::exists(saved.path()), savable);
        if (songKept && !savable) QCOMPARE(Codes(*sink).back(), 0x0D000007u);
    }

    // Save either writes a file this program reads again without a word about
    // its structure, or says why there is nothing to save and writes nothing.
    void everyMalformedCorpusFileLoadsAndSavesWithoutCrashing() {
        const std::filesystem::path corpus = solvane::test::CorpusDir();
        if (corpus.empty() || !std::filesystem::is_directory(corpus / "malformed")) QSKIP("no corpus");
        MainDialog dialog(nullptr);
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdHorizontal))->setChecked(true);
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdVertical))->setChecked(true);
        const TempFile saved("saved.mid");
        int files = 0;
        int refused = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus / "malformed")) {
            // The dialog does the same for every size; the core's own tests take the big ones.
            if (!entry.is_regular_file() || entry.path().extension() != ".mid" || entry.file_size() > kCorpusSizeLimit) {
                continue;
            }
            ++files;
            solvane::MidiTrackData::ResetReaderState();
            Load(dialog, *chooser, entry.path().string());
            if (!g_loader) continue;
            QVERIFY(g_loader->song != nullptr);
            std::filesystem::remove(saved.path());
            chooser->QueueSave(saved.path());
            const int asked = chooser->saveAsks;
            sink->Clear();
            dialog.Control(solvane::kIdSave)->click();
            if (chooser->saveAsks == asked) {
                ++refused;  // its queued answer, the same path, serves the next Save
                QVERIFY2(!std::filesystem::exists(saved.path()), entry.path().c_str());
                QVERIFY2(!Codes(*sink).empty() && Codes(*sink).back() == 0x0D000007u, entry.path().c_str());
                continue;
            }
            sink->Clear();
            solvane::MidiFileLoader again(saved.path());
            for (const uint code : Codes(*sink)) {
                QVERIFY2(code != 0x0D000001u && code != 0x0D000007u, entry.path().c_str());
            }
        }
        QVERIFY(files > 0);
        QVERIFY(refused > 0);
    }

    void exitIsRefusedWhilePlayingAndEscapeStillEndsTheDialog() {
        const TempFile piece(solvane::test::SamplePiece());
        MainDialog dialog(nullptr);
        Load(dialog, *chooser, piece.path());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        g_playing = 1;

        dialog.Control(solvane::kIdOk)->click();
        QTest::keyClick(&dialog, Qt::Key_Return);
        QVERIFY(dialog.isVisible());
        const std::vector<std::string> refusal(2, "再生中は終了できません!");
        QVERIFY(sink->texts() == refusal);
        QVERIFY(g_loader != nullptr);

        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!g_loader);
    }

    void exitWhileIdleEndsTheDialogAndDropsTheSong() {
        const TempFile piece(solvane::test::SamplePiece());
        MainDialog dialog(nullptr);
        Load(dialog, *chooser, piece.path());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        dialog.Control(solvane::kIdOk)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!g_loader);
        QVERIFY(sink->reports().empty());
    }

    void aboutCommandOpensTheAboutBox_data() {
        QTest::addColumn<uint>("command");
        QTest::newRow("0x0010") << 0x0010u;
        QTest::newRow("low bits are the platform's") << 0x001Fu;
    }

    void aboutCommandOpensTheAboutBox() {
        QFETCH(uint, command);
        MainDialog dialog(nullptr);
        QString caption;
        QWidget* parent = nullptr;
        solvane::test::WhenModal<solvane::AboutDialog> closer([&](solvane::AboutDialog* about) {
            caption = about->windowTitle();
            parent = about->parentWidget();
            about->accept();
        });
        dialog.OnSysCommand(command);
        QVERIFY(closer.seen());
        QCOMPARE(caption, QString::fromUtf8("Vandrelのﾊﾞｰｼﾞｮﾝ情報"));
        QCOMPARE(parent, &dialog);
    }

    void otherSystemCommandsGetTheDefaultHandling() {
        MainDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        int abouts = 0;
        solvane::test::WhenModal<solvane::AboutDialog> closer(
            [&](solvane::AboutDialog* about) {
                ++abouts;
                about->reject();
            },
            200);
        dialog.OnSysCommand(0x0020);
        dialog.OnSysCommand(0xF010);  // move: the window manager's business
        QVERIFY(dialog.isVisible());
        dialog.OnSysCommand(solvane::kSysCommandClose);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QTest::qWait(250);
        QCOMPARE(abouts, 0);
    }

    void rightClickMenuOpensTheAboutBoxByItsMnemonic() {
        MainDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QStringList items;
        solvane::test::WhenPopup<QMenu> menuWatcher([&](QMenu* menu) {
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator()) items << action->text();
            }
            QTest::keyClick(menu, Qt::Key_A);
        });
        bool aboutSeen = false;
        solvane::test::WhenModal<solvane::AboutDialog> closer([&](solvane::AboutDialog* about) {
            aboutSeen = true;
            QTest::keyClick(about, Qt::Key_Escape);
        });
        const QPoint at(20, 20);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, dialog.mapToGlobal(at));
        QApplication::sendEvent(&dialog, &event);
        QVERIFY(menuWatcher.seen());
        // The reversal's choice, the preview, the about item, the sound's
        // choices, then the language choice.
        QCOMPARE(items, (QStringList{QString::fromUtf8("テンポとペダルを元の部分と共に保つ"), QString::fromUtf8("プレビュー(&P)"),
                                     QString::fromUtf8("Vandrel のﾊﾞｰｼﾞｮﾝ情報(&A)..."), QString::fromUtf8("MIDI出力"),
                                     QString::fromUtf8("サウンドフォント..."), QString::fromUtf8("オーディオ書き出し..."),
                                     QStringLiteral("Language")}));
        QTRY_VERIFY(aboutSeen);
        QVERIFY(dialog.isVisible());
    }

    void helpAsksForTheTopPageOfTheHelpFile() {
        solvane::test::RecordingHelpViewer viewer;
        MainDialog dialog(&viewer);
        dialog.Control(solvane::kIdHelp)->click();
        QCOMPARE(viewer.calls.size(), std::size_t{1});
        QCOMPARE(viewer.calls[0].first, std::string("Solvane.chm"));
        QCOMPARE(viewer.calls[0].second, std::string("top.htm"));
        MainDialog withoutViewer(nullptr);
        withoutViewer.Control(solvane::kIdHelp)->click();
        QVERIFY(sink->reports().empty());
    }

    void playFinishedRestoresTheCaptionWithoutBlockingTheWorker() {
        MainDialog dialog(nullptr);
        g_playing = 1;
        g_playButton->setText(QString::fromUtf8("停止"));
        // The UI thread does not serve events while it waits here: a worker
        // that waited for the window would never come back.
        auto finished = std::async(std::launch::async, [] { return solvane::OnPlayFinished(); });
        QCOMPARE(finished.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        QCOMPARE(finished.get(), 0);
        QCOMPARE(g_playing.load(), 0);
        QTRY_COMPARE(dialog.Control(solvane::kIdPlay)->text(), QString::fromUtf8("再生"));
    }

    void captionStaysStopWhenANewPlayStartedBeforeTheUiThreadCaughtUp() {
        MainDialog dialog(nullptr);
        g_playing = 1;
        std::thread([] { solvane::OnPlayFinished(); }).join();
        QCOMPARE(g_playing.load(), 0);
        // The next play starts before the queued caption change is served.
        g_playing = 1;
        g_playButton->setText(QString::fromUtf8("停止"));
        QCoreApplication::processEvents();
        QCOMPARE(dialog.Control(solvane::kIdPlay)->text(), QString::fromUtf8("停止"));
    }

    void playFinishedAfterTheWindowIsGoneIsHarmless() {
        {
            MainDialog dialog(nullptr);
            QVERIFY(g_playButton != nullptr);
        }
        QVERIFY(g_playButton == nullptr);
        g_playing = 1;
        QCOMPARE(solvane::OnPlayFinished(), 0);
        QCOMPARE(g_playing.load(), 0);
        QCoreApplication::processEvents();
        QVERIFY(sink->reports().empty());
    }
};

SOLVANE_APP_SUITE(MainDialogTest);

#include "MainDialog_test.moc"
