// The window's sound choices: the MIDI output menu over the sequencer's ports
// of the moment, the soundfont, both kept in the settings and handed to the
// output Play opens, and the audio export with its progress and cancel.

#include <QAction>
#include <QMenu>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QDir>
#include <QTest>
#include <filesystem>

#include "app/MainDialog.h"
#include "app/Settings.h"
#include "platform/MidiOutFactory.h"
#include "song/MidiFileLoader.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/FakeSequencer.h"
#include "tests/support/ManualTimer.h"
#include "tests/support/RecordingMidiOut.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SmfBuilder.h"

using solvane::ChosenMidiOut;
using solvane::MainDialog;
using solvane::MidiOutKind;
using solvane::Settings;
using solvane::test::FakeFileChooser;
using solvane::test::FakeSequencer;
using solvane::test::PortOf;
using solvane::test::RecordingSink;
using solvane::test::TempFile;

namespace {

QStringList Entries(QMenu* menu) {
    QStringList entries;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        entries << (action->isChecked() ? QStringLiteral("* ") : QString()) + action->text();
    }
    return entries;
}

QAction* Entry(QMenu* menu, const QString& start) {
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(start)) return action;
    }
    return nullptr;
}

const std::vector<solvane::MidiPort> kPorts = {PortOf(14, 0, "Midi Through", "Midi Through Port-0"),
                                               PortOf(128, 0, "TiMidity", "TiMidity port 0", true)};

}  // namespace

class SoundMenuTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<RecordingSink> sink;
    std::unique_ptr<FakeSequencer> sequencer;
    std::unique_ptr<FakeFileChooser> chooser;
    std::unique_ptr<QTemporaryDir> dir;

    QString SettingsFile() const { return dir->filePath(QStringLiteral("solvane.conf")); }

private slots:
    void init() {
        sink = std::make_unique<RecordingSink>();
        sequencer = std::make_unique<FakeSequencer>();
        sequencer->SetPorts(kPorts);
        chooser = std::make_unique<FakeFileChooser>();
        dir = std::make_unique<QTemporaryDir>();
    }
    void cleanup() {
        solvane::g_loader.reset();
        chooser.reset();
        sequencer.reset();
        sink.reset();
    }

    void theOutputMenuListsTheSequencersPortsAfreshAtEachOpening() {
        MainDialog dialog(nullptr);
        dialog.RefreshOutputMenu();
        QCOMPARE(Entries(dialog.OutputMenu()),
                 (QStringList{QString::fromUtf8("* 既定の出力"), QString::fromUtf8("内蔵シンセサイザー"),
                              QStringLiteral("Midi Through:Midi Through Port-0  (14:0)"),
                              QStringLiteral("TiMidity:TiMidity port 0  (128:0)")}));
        sequencer->SetPorts({PortOf(20, 0, "MicroKorg", "MIDI 1")});
        const int listed = sequencer->lists.load();
        emit dialog.OutputMenu()->aboutToShow();
        QVERIFY(sequencer->lists.load() > listed);
        QVERIFY(Entry(dialog.OutputMenu(), QStringLiteral("MicroKorg:MIDI 1  (20:0)")) != nullptr);
        QVERIFY(Entry(dialog.OutputMenu(), QStringLiteral("TiMidity")) == nullptr);
        sequencer->available = false;
        dialog.RefreshOutputMenu();
        QAction* none = Entry(dialog.OutputMenu(), QString::fromUtf8("ALSAシーケンサーがありません"));
        QVERIFY(none != nullptr);
        QVERIFY(!none->isEnabled());
    }

    void theChosenOutputIsKeptAndHandedToTheOutputPlayOpens() {
        ChosenMidiOut output;
        {
            Settings settings(SettingsFile());
            MainDialog dialog(nullptr);
            dialog.UseOutput(&output);
            dialog.UseSettings(&settings);
            dialog.RefreshOutputMenu();
            Entry(dialog.OutputMenu(), QStringLiteral("TiMidity:"))->trigger();
            QCOMPARE(output.Choice().kind, MidiOutKind::kPort);
            QCOMPARE(output.Choice().target, std::string("TiMidity:TiMidity port 0"));
            Entry(dialog.OutputMenu(), QString::fromUtf8("内蔵"))->trigger();
            QCOMPARE(output.Choice().kind, MidiOutKind::kBuiltIn);
            Entry(dialog.OutputMenu(), QStringLiteral("TiMidity:"))->trigger();
        }
        Settings settings(SettingsFile());
        QCOMPARE(settings.MidiOutput(), QStringLiteral("TiMidity:TiMidity port 0"));
        ChosenMidiOut next;
        MainDialog dialog(nullptr);
        dialog.UseOutput(&next);
        dialog.UseSettings(&settings);
        QCOMPARE(next.Choice().target, std::string("TiMidity:TiMidity port 0"));
        dialog.RefreshOutputMenu();
        QVERIFY(Entry(dialog.OutputMenu(), QStringLiteral("TiMidity:"))->isChecked());
        QVERIFY(sink->reports().empty());
    }

    void aPortThatWentAwayGivesWayToTheDefaultWithAReport() {
        Settings settings(SettingsFile());
        settings.SetMidiOutput(QStringLiteral("TiMidity:TiMidity port 0"));
        ChosenMidiOut output;
        MainDialog dialog(nullptr);
        dialog.UseOutput(&output);
        dialog.UseSettings(&settings);
        sequencer->SetPorts({kPorts[0]});
        // Opening the menu tells it in the menu, where the user is looking.
        dialog.RefreshOutputMenu();
        QAction* note = Entry(dialog.OutputMenu(), QString::fromUtf8("「TiMidity:TiMidity port 0」が見つからない"));
        QVERIFY(note != nullptr);
        QVERIFY(!note->isEnabled());
        QVERIFY(sink->reports().empty());
        QCOMPARE(settings.MidiOutput(), QStringLiteral("default"));
        QCOMPARE(output.Choice().kind, MidiOutKind::kDefault);
        QVERIFY(Entry(dialog.OutputMenu(), QString::fromUtf8("既定"))->isChecked());
        dialog.RefreshOutputMenu();
        QVERIFY(Entry(dialog.OutputMenu(), QString::fromUtf8("「TiMidity")) == nullptr);  // told once

        // Play tells it in a message box, and plays on the default output.
        dialog.SetMidiOutput(QStringLiteral("TiMidity:TiMidity port 0"));
        const TempFile piece(solvane::test::SamplePiece());
        dialog.OpenFile(piece.path());
        solvane::test::RecordingMidiOut recording;
        solvane::test::ManualTimer timer;
        dialog.OnPlay();
        QCOMPARE(sink->reports().size(), std::size_t{1});
        QVERIFY(QString::fromStdString(sink->texts()[0]).contains(QStringLiteral("「TiMidity:TiMidity port 0」")));
        QCOMPARE(output.Choice().kind, MidiOutKind::kDefault);
        QCOMPARE(settings.MidiOutput(), QStringLiteral("default"));
        dialog.OnPlay();  // stop
    }

    void aChosenSoundFontIsKeptAndAFileThatIsNoneIsRefused() {
        const TempFile squares(solvane::test::SquareWaveSoundFont(), "square.sf2");
        const TempFile midi(solvane::test::SmfBuilder().Header(0, 1, 96).Track(solvane::test::kEnd).Bytes());
        Settings settings(SettingsFile());
        ChosenMidiOut output;
        MainDialog dialog(nullptr);
        dialog.UseOutput(&output);
        dialog.UseSettings(&settings);
        chooser->QueueOpen(squares.path());
        chooser->QueueOpen(midi.path());
        dialog.OnChooseSoundFont();
        QCOMPARE(chooser->lastFilter, std::string("Soundfonts|*.sf2;*.sf3|All files|*|"));
        QCOMPARE(settings.SoundFont(), QString::fromStdString(squares.path()));
        QCOMPARE(output.Choice().soundFont, squares.path());
        QVERIFY(Entry(dialog.SystemMenu(), QString::fromUtf8("サウンドフォント... (square.sf2)")) != nullptr);
        dialog.OnChooseSoundFont();
        QCOMPARE(sink->reports().size(), std::size_t{1});
        QCOMPARE(settings.SoundFont(), QString::fromStdString(squares.path()));
    }

    void exportRendersThePieceAsPlayWouldPlayIt() {
        const TempFile squares(solvane::test::SquareWaveSoundFont(), "square.sf2");
        const TempFile piece(solvane::test::SamplePiece());
        TempFile wav("export.wav");
        MainDialog dialog(nullptr);
        dialog.SetSoundFont(QString::fromStdString(squares.path()));
        dialog.OpenFile(piece.path());
        QVERIFY(solvane::g_loader && solvane::g_loader->song);
        chooser->QueueSave(wav.path());
        dialog.OnExportAudio();
        const solvane::test::Bytes written = wav.Read();
        QVERIFY(written.size() > 44 + 44100);
        QCOMPARE(std::string(written.begin(), written.begin() + 4), std::string("RIFF"));
        QVERIFY(sink->reports().empty());
    }

    void aCancelledExportLeavesNoFile() {
        const TempFile squares(solvane::test::SquareWaveSoundFont(), "square.sf2");
        // Twenty minutes between two notes: long enough to be cancelled midway.
        const TempFile piece(solvane::test::Format0(solvane::test::Concat(
            {solvane::test::NoteBytes(0, 60, 96), {0x87, 0x84, 0x00, 0x90, 62, 100, 0x60, 0x80, 62, 0}})));
        TempFile wav("cancelled.wav");
        MainDialog dialog(nullptr);
        dialog.SetSoundFont(QString::fromStdString(squares.path()));
        dialog.OpenFile(piece.path());
        chooser->QueueSave(wav.path());
        bool seen = false;
        solvane::test::WhenModal<QProgressDialog> canceller([&seen](QProgressDialog* progress) {
            seen = true;
            progress->cancel();
        });
        dialog.OnExportAudio();
        QVERIFY(seen);
        QVERIFY(wav.Read().empty());
        QCOMPARE(QDir(QString::fromStdString(std::filesystem::path(wav.path()).parent_path().string()))
                     .entryList(QDir::Files | QDir::Hidden)
                     .size(),
                 0);
    }
};

SOLVANE_APP_SUITE(SoundMenuTest);
#include "SoundMenu_test.moc"
