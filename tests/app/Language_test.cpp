// The window's language: Japanese texts by default, English on request from
// the window menu, remembered in the settings.

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/AboutDialog.h"
#include "app/AppTexts.h"
#include "app/MainDialog.h"
#include "app/QtMessageSink.h"
#include "app/Settings.h"
#include "support/Messages.h"
#include "tests/app/AppTestSupport.h"

using solvane::g_language;
using solvane::Language;
using solvane::MainDialog;

namespace {

QAction* LanguageAction(const MainDialog& dialog, const QString& name) {
    auto* menu = dialog.SystemMenu()->findChild<QMenu*>(QStringLiteral("languageMenu"));
    if (menu == nullptr) return nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text() == name) return action;
    }
    return nullptr;
}

QString AboutItem(const MainDialog& dialog) {
    for (QAction* action : dialog.SystemMenu()->actions()) {
        if (action->text().contains(QStringLiteral("Vandrel"))) return action->text();
    }
    return {};
}

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        g_language = Language::kJapanese;
        solvane::g_playing = 0;
    }

    void japaneseIsTheDefaultAndTheMenuOffersBoth() {
        MainDialog dialog(nullptr);
        QAction* japanese = LanguageAction(dialog, QString::fromUtf8("日本語"));
        QAction* english = LanguageAction(dialog, QStringLiteral("English"));
        QVERIFY(japanese != nullptr && english != nullptr);
        QVERIFY(japanese->isChecked());
        QVERIFY(!english->isChecked());
        QCOMPARE(AboutItem(dialog), QString::fromUtf8(solvane::kAboutMenuText));
        QCOMPARE(dialog.Control(solvane::kIdPlay)->text(), QStringLiteral("Play"));
        solvane::AboutDialog about;
        QCOMPARE(about.windowTitle(), QString::fromUtf8("Vandrelのﾊﾞｰｼﾞｮﾝ情報"));
    }

    // Every report keeps its exact Japanese text unless English was chosen.
    void japaneseReportsAreShownExactlyAsTabled() {
        using solvane::Module;
        for (const Module module : {Module::kGeneral, Module::kMidiF1Data, Module::kMidiF0Data, Module::kMusicEvent,
                                    Module::kMidiControler, Module::kMidiPlayer, Module::kMusicPlayer,
                                    Module::kMidiTrackData, Module::kMidiFileLoader}) {
            for (std::uint32_t code : {0u, 1u, 0x02000001u, 0x04000004u, 0x07000001u, 0x0D000007u, 0x17000002u}) {
                const std::string_view text = solvane::ErrorMessage(module, code);
                QCOMPARE(solvane::ReportText(solvane::ModuleName(module), code, text).data(), text.data());
            }
        }
        QCOMPARE(solvane::ReportText("MainDialog", 0, solvane::kCannotExitWhilePlaying).data(),
                 solvane::kCannotExitWhilePlaying);
    }

    void englishChangesTheWindowsTextsAndBackAgain() {
        MainDialog dialog(nullptr);
        QAbstractButton* play = dialog.Control(solvane::kIdPlay);
        play->setText(QString::fromUtf8(solvane::kStopCaption));  // as while a piece plays
        LanguageAction(dialog, QStringLiteral("English"))->trigger();
        QCOMPARE(g_language.load(), Language::kEnglish);
        QVERIFY(LanguageAction(dialog, QStringLiteral("English"))->isChecked());
        QVERIFY(!LanguageAction(dialog, QString::fromUtf8("日本語"))->isChecked());
        QCOMPARE(play->text(), QStringLiteral("Stop"));
        QCOMPARE(AboutItem(dialog), QStringLiteral("&About Vandrel..."));
        {
            solvane::AboutDialog about;
            QCOMPARE(about.windowTitle(), QStringLiteral("About Vandrel"));
        }
        // The play's end and a stop set the English caption.
        solvane::OnPlayFinished();
        QTRY_COMPARE(play->text(), QStringLiteral("Play"));
        // The start captions are English in both languages.
        QCOMPARE(dialog.Control(solvane::kIdHorizontal)->text(), QStringLiteral("Horizontal Reverse"));

        play->setText(QStringLiteral("Stop"));
        LanguageAction(dialog, QString::fromUtf8("日本語"))->trigger();
        QCOMPARE(g_language.load(), Language::kJapanese);
        QCOMPARE(play->text(), QString::fromUtf8(solvane::kStopCaption));
        QCOMPARE(AboutItem(dialog), QString::fromUtf8(solvane::kAboutMenuText));
    }

    void englishReportsReachTheMessageBox() {
        g_language = Language::kEnglish;
        solvane::QtMessageSink sink;
        QStringList seen;
        solvane::test::WhenModal<QMessageBox> closer([&](QMessageBox* box) {
            seen << box->text() << box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        });
        sink.Show("MidiF1Data", 0x02000001, solvane::ErrorMessage(solvane::Module::kMidiF1Data, 0x02000001));
        QVERIFY(closer.seen());
        QCOMPARE(seen.size(), 2);
        QVERIFY(seen[0].startsWith(QStringLiteral("The number of tracks set in this file exceeds")));
        QCOMPARE(seen[0].count(QLatin1Char('\n')), 2);
        QCOMPARE(seen[1], QStringLiteral("Solvane"));
        QCOMPARE(Utf8(solvane::ReportText("MainDialog", 0, solvane::kCannotExitWhilePlaying)),
                 QStringLiteral("Cannot exit while playing!"));
        QCOMPARE(Utf8(solvane::ReportText("MidiFileLoader", 0x17000002,
                                          solvane::ErrorMessage(solvane::Module::kMidiFileLoader, 0x17000002))),
                 QStringLiteral("This is not a MIDI file."));
    }

    void theChoiceIsKeptInTheSettingsForTheNextRun() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("solvane.conf"));
        {
            solvane::Settings settings(file);
            QCOMPARE(settings.MessageLanguage(), Language::kJapanese);
            MainDialog dialog(nullptr);
            dialog.UseSettings(&settings);
            LanguageAction(dialog, QStringLiteral("English"))->trigger();
        }
        g_language = Language::kJapanese;
        {
            solvane::Settings settings(file);
            QCOMPARE(settings.MessageLanguage(), Language::kEnglish);
            MainDialog dialog(nullptr);
            dialog.UseSettings(&settings);
            QCOMPARE(g_language.load(), Language::kEnglish);
            QVERIFY(LanguageAction(dialog, QStringLiteral("English"))->isChecked());
            QCOMPARE(AboutItem(dialog), QStringLiteral("&About Vandrel..."));
        }
        // A value the program does not know reads as the default.
        QFile edited(file);
        QVERIFY(edited.open(QIODevice::WriteOnly | QIODevice::Truncate));
        edited.write("[General]\nlanguage=fr\n");
        edited.close();
        QCOMPARE(solvane::Settings(file).MessageLanguage(), Language::kJapanese);
    }
};

SOLVANE_APP_SUITE(LanguageTest);

#include "Language_test.moc"
