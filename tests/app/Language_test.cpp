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

QAction* Item(const MainDialog& dialog, const QString& text) {
    for (QAction* action : dialog.SystemMenu()->findChildren<QAction*>()) {
        if (action->text() == text) return action;
    }
    return nullptr;
}

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// What the window shows of its language: the about item, the Play button,
// the about box's caption and a report of a module and of the window.
QStringList Shown(const MainDialog& dialog) {
    const solvane::AboutDialog about;
    const std::string_view notMidi = solvane::ErrorMessage(solvane::Module::kMidiFileLoader, 0x17000002);
    return {Item(dialog, QString::fromUtf8(solvane::kAboutMenuText)) != nullptr ? QStringLiteral("ja")
                                                                               : QStringLiteral("en"),
            dialog.Control(solvane::kIdPlay)->text(), about.windowTitle(),
            Utf8(solvane::ReportText("MidiFileLoader", 0x17000002, notMidi)),
            Utf8(solvane::ReportText("MainDialog", 0, solvane::kCannotExitWhilePlaying))};
}

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        g_language = Language::kJapanese;
        solvane::g_playing = 0;
    }

    void japaneseByDefaultEnglishOnRequestAndBack() {
        MainDialog dialog(nullptr);
        QAction* japanese = Item(dialog, QString::fromUtf8("日本語"));
        QAction* english = Item(dialog, QStringLiteral("English"));
        QVERIFY(japanese != nullptr && english != nullptr && japanese->isChecked() && !english->isChecked());
        QAbstractButton* play = dialog.Control(solvane::kIdPlay);
        play->setText(QString::fromUtf8(solvane::kStopCaption));  // as while a piece plays
        QCOMPARE(Shown(dialog), QString::fromUtf8("ja|停止|Vandrelのﾊﾞｰｼﾞｮﾝ情報|Midiファイルではありません。|"
                                                  "再生中は終了できません!").split(QLatin1Char('|')));
        english->trigger();
        QVERIFY(english->isChecked() && !japanese->isChecked());
        QCOMPARE(Shown(dialog), QStringLiteral("en|Stop|About Vandrel|This is not a MIDI file.|"
                                               "Cannot exit while playing!").split(QLatin1Char('|')));
        solvane::OnPlayFinished();  // the play's end sets the English caption
        QTRY_COMPARE(play->text(), QStringLiteral("Play"));
        play->setText(QStringLiteral("Stop"));
        japanese->trigger();
        QCOMPARE(Shown(dialog).mid(0, 2), QString::fromUtf8("ja|停止").split(QLatin1Char('|')));

        // The message box shows the English text, line by line.
        english->trigger();
        solvane::QtMessageSink sink;
        QString seen;
        solvane::test::WhenModal<QMessageBox> closer([&](QMessageBox* box) {
            seen = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        sink.Show("MidiF1Data", 0x02000001, solvane::ErrorMessage(solvane::Module::kMidiF1Data, 0x02000001));
        QVERIFY(seen.startsWith(QStringLiteral("The number of tracks set in this file exceeds")));
        QCOMPARE(seen.count(QLatin1Char('\n')), 2);
    }

    void theChoiceIsKeptInTheSettingsForTheNextRun() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("solvane.conf"));
        {
            solvane::Settings settings(file);
            MainDialog dialog(nullptr);
            dialog.UseSettings(&settings);
            QCOMPARE(g_language.load(), Language::kJapanese);
            Item(dialog, QStringLiteral("English"))->trigger();
        }
        g_language = Language::kJapanese;
        solvane::Settings settings(file);
        MainDialog dialog(nullptr);
        dialog.UseSettings(&settings);
        QCOMPARE(g_language.load(), Language::kEnglish);
        QVERIFY(Item(dialog, QStringLiteral("English"))->isChecked());
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
