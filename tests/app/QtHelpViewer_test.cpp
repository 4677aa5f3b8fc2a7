// Help: the external viewer when the help file and the viewer are there,
// the built-in page otherwise, and a page that explains every message.

#include <QDialog>
#include <QScreen>
#include <QScrollBar>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <string_view>
#include <vector>

#include "app/MainDialog.h"
#include "app/QtHelpViewer.h"
#include "messages/MessageLanguage.h"
#include "support/Messages.h"
#include "tests/app/AppTestSupport.h"

namespace {

struct Launch {
    QString program;
    QStringList arguments;
};

// A folder that is the current folder and the whole PATH while the object lives.
class Scene {
public:
    Scene() : oldPath_(qgetenv("PATH")), oldDir_(QDir::currentPath()) {
        qputenv("PATH", dir_.path().toLocal8Bit());
        QDir::setCurrent(dir_.path());
    }
    ~Scene() {
        QDir::setCurrent(oldDir_);
        qputenv("PATH", oldPath_);
    }
    QString Put(const QString& name, bool executable) const {
        const QString path = QDir(dir_.path()).filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) file.write("#!/bin/sh\n");
        file.close();
        if (executable) file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return path;
    }

private:
    QTemporaryDir dir_;
    QByteArray oldPath_;
    QString oldDir_;
};

}  // namespace

class QtHelpViewerTest : public QObject {
    Q_OBJECT

private slots:
    void helpFileAndViewerStartTheViewerOnTheTopic() {
        Scene scene;
        const QString chm = scene.Put(QStringLiteral("Solvane.chm"), false);
        const QString viewer = scene.Put(QStringLiteral("kchmviewer"), true);
        std::vector<Launch> launches;
        solvane::QtHelpViewer help([&](const QString& program, const QStringList& arguments) {
            launches.push_back({program, arguments});
            return true;
        });
        QVERIFY(help.ShowTopic("Solvane.chm", "top.htm"));
        QCOMPARE(launches.size(), std::size_t{1});
        QCOMPARE(launches[0].program, viewer);
        QCOMPARE(launches[0].arguments, (QStringList{QStringLiteral("-showPage"), QStringLiteral("top.htm"), chm}));
        QVERIFY(help.Window() == nullptr);
    }

    void builtInPageIsShownWhenTheViewerCannotBe_data() {
        QTest::addColumn<bool>("helpFile");
        QTest::addColumn<bool>("viewer");
        QTest::addColumn<bool>("viewerStarts");
        QTest::newRow("no help file") << false << true << true;
        QTest::newRow("no viewer") << true << false << true;
        QTest::newRow("viewer fails to start") << true << true << false;
    }

    void builtInPageIsShownWhenTheViewerCannotBe() {
        QFETCH(bool, helpFile);
        QFETCH(bool, viewer);
        QFETCH(bool, viewerStarts);
        Scene scene;
        if (helpFile) scene.Put(QStringLiteral("Solvane.chm"), false);
        if (viewer) scene.Put(QStringLiteral("kchmviewer"), true);
        int launches = 0;
        solvane::QtHelpViewer help([&](const QString&, const QStringList&) {
            ++launches;
            return viewerStarts;
        });
        QVERIFY(help.ShowTopic("Solvane.chm", "top.htm"));
        QCOMPARE(launches, helpFile && viewer ? 1 : 0);
        QTextBrowser* window = help.Window();
        QVERIFY(window != nullptr);
        QVERIFY(window->isVisible());
        QCOMPARE(window->source(), QUrl(QStringLiteral("qrc:/solvane/help/top.htm")));
        QVERIFY(window->toPlainText().contains(QStringLiteral("Horizontal Reverse")));
        // A second request reuses the window.
        QVERIFY(help.ShowTopic("Solvane.chm", "top.htm"));
        QCOMPARE(help.Window(), window);
    }

    void unknownTopicShowsNothing() {
        Scene scene;
        solvane::QtHelpViewer help([](const QString&, const QStringList&) { return false; });
        QVERIFY(!help.ShowTopic("Solvane.chm", "nowhere.htm"));
        QVERIFY(help.Window() == nullptr);
    }

    void helpWindowBelongsToTheModalDialogSoItTakesInput() {
        Scene scene;
        solvane::QtHelpViewer help([](const QString&, const QStringList&) { return false; });
        QDialog owner;
        QWidget* parent = nullptr;
        solvane::test::WhenModal<QDialog> asker([&](QDialog* dialog) {
            help.ShowTopic("Solvane.chm", "top.htm");
            parent = help.Window() != nullptr ? help.Window()->parentWidget() : nullptr;
            dialog->accept();
        });
        owner.exec();
        QVERIFY(asker.seen());
        QCOMPARE(parent, static_cast<QWidget*>(&owner));
        QVERIFY(help.Window()->isWindow());
    }

    void builtInPageExplainsEveryMessageAUserCanMeet() {
        Scene scene;
        solvane::QtHelpViewer help([](const QString&, const QStringList&) { return false; });
        QVERIFY(help.ShowTopic("Solvane.chm", "top.htm"));
        const QString page = help.Window()->toPlainText();

        using solvane::Module;
        // The messages that some operation really raises.
        const struct {
            Module module;
            std::uint32_t code;
        } raised[] = {
            {Module::kGeneral, 1},               {Module::kGeneral, 2},
            {Module::kGeneral, 3},               {Module::kGeneral, 4},
            {Module::kGeneral, 0},               {Module::kMidiF1Data, 0x02000001},
            {Module::kMidiF1Data, 0x02000002},   {Module::kMidiF1Data, 0x02000003},
            {Module::kMidiF1Data, 0x02000004},   {Module::kMidiF0Data, 0x04000001},
            {Module::kMidiF0Data, 0x04000003},   {Module::kMidiF0Data, 0x04000004},
            {Module::kMidiF0Data, 0x04000005},   {Module::kMidiF0Data, 0},
            {Module::kMusicEvent, 0x06000001},   {Module::kMidiControler, 0x07000001},
            {Module::kMidiControler, 0x07000002}, {Module::kMidiControler, 0x07000003},
            {Module::kMidiControler, 0x07000004}, {Module::kMidiPlayer, 0x08000001},
            {Module::kMidiPlayer, 0x08000002},   {Module::kMidiPlayer, 0x08000003},
            {Module::kMidiPlayer, 0x08000004},   {Module::kMusicPlayer, 0x09000001},
            {Module::kMidiTrackData, 0x0D000001}, {Module::kMidiTrackData, 0x0D000002},
            {Module::kMidiTrackData, 0x0D000003}, {Module::kMidiTrackData, 0x0D000005},
            {Module::kMidiTrackData, 0x0D000006}, {Module::kMidiTrackData, 0x0D000007},
            {Module::kMidiFileLoader, 0x17000001}, {Module::kMidiFileLoader, 0x17000002},
        };
        std::vector<std::string_view> texts = {solvane::TrackWarningMessage(0x0D00000B),
                                               solvane::kCannotExitWhilePlaying};
        for (const auto& r : raised) texts.push_back(solvane::ErrorMessage(r.module, r.code));
        // Each in English too, as the boxes show it when English is chosen.
        texts.push_back(solvane::EnglishMessage("MidiTrackData", 0x0D00000B, solvane::TrackWarningMessage(0x0D00000B)));
        texts.push_back("Cannot exit while playing!");
        for (const auto& r : raised) {
            texts.push_back(solvane::EnglishMessage(solvane::ModuleName(r.module), r.code,
                                                    solvane::ErrorMessage(r.module, r.code)));
        }
        for (std::string_view text : texts) {
            const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
            for (const QString& line : message.split(QLatin1Char('\r'))) {
                QVERIFY2(!line.isEmpty() && page.contains(line), qPrintable(line));
            }
        }
    }

    // What users ask, each with the fact that answers it.
    void builtInPageAnswersWhatUsersAsk() {
        Scene scene;
        solvane::QtHelpViewer help([](const QString&, const QStringList&) { return false; });
        QVERIFY(help.ShowTopic("Solvane.chm", "top.htm"));
        const QString page = help.Window()->toPlainText();
        const char* answers[] = {
            "C4 D4 E4 G4", "C4 A#3 G#3 F3",                         // the example, before and after
            "solvane song.mid", "solvane-cli convert -H -V", ".rmi",  // opening files, the command line
            "ALSA sequencer", "/usr/share/sounds/sf2/default-GM.sf2", "fluid-soundfont-gm",  // sound
            "240 quarter notes a minute", "mirrored places", "30 milliseconds",             // timing
            "262,144 bytes", "first 16 tracks", "131,072 events per track",                  // limits
            "SOLVANE_LANG=en", "Escape closes it",
        };
        for (const char* answer : answers) QVERIFY2(page.contains(QString::fromUtf8(answer)), answer);
    }

    // At its default size, and narrowed to fit beside the dialog, the page
    // needs no sideways scrolling; Escape closes the window, and Help brings
    // the same window back.
    void builtInWindowFitsItsPageAndEscapeClosesIt() {
        Scene scene;
        solvane::QtHelpViewer help([](const QString&, const QStringList&) { return false; });
        QVERIFY(help.ShowTopic("Solvane.chm", "top.htm"));
        QTextBrowser* window = help.Window();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(window->size(), solvane::QtHelpViewer::WindowSize(window->screen()->availableGeometry()));
        for (const int width : {window->width(), solvane::QtHelpViewer::kNarrowestWidth}) {
            window->resize(width, window->height());
            // The page is laid out again some time after the resize (later
            // on a busy machine); until then it keeps the wider layout, and
            // so a sideways scroll range.
            QTRY_VERIFY2(window->horizontalScrollBar()->maximum() == 0, qPrintable(QString::number(width)));
        }
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
        QVERIFY(help.ShowTopic("Solvane.chm", "top.htm"));
        QVERIFY(help.Window() == window && window->isVisible());
    }

    void helpWindowOpensBesideTheDialogNotOverIt() {
        Scene scene;
        solvane::QtHelpViewer help([](const QString&, const QStringList&) { return false; });
        // Small and at the left, so that the screen (800 pixels wide offscreen) has room beside it.
        QDialog owner;
        owner.setGeometry(10, 40, 120, 100);
        QRect ownerFrame;
        QRect helpFrame;
        solvane::test::WhenModal<QDialog> asker([&](QDialog* dialog) {
            help.ShowTopic("Solvane.chm", "top.htm");
            ownerFrame = dialog->frameGeometry();
            helpFrame = help.Window()->frameGeometry();
            dialog->accept();
        });
        owner.exec();
        QVERIFY(asker.seen());
        QVERIFY(helpFrame.isValid());
        QVERIFY(!helpFrame.intersects(ownerFrame));
        QVERIFY(helpFrame.left() > ownerFrame.right());
    }

    void helpWindowGoesWhereTheScreenHasRoom() {
        const QRect wide(0, 0, 1920, 1080);
        const QRect laptop(0, 0, 1280, 800);
        const struct {
            QRect screen;
            QRect owner;
            QRect expected;
        } cases[] = {
            {wide, QRect(100, 100, 360, 250), QRect(472, 100, 640, 600)},    // room on the right
            {wide, QRect(1500, 200, 360, 250), QRect(848, 200, 640, 600)},   // on the left only
            {wide, QRect(100, 900, 360, 150), QRect(472, 450, 640, 600)},    // lifted onto the screen
            {laptop, QRect(420, 200, 420, 290), QRect(852, 170, 428, 600)},  // narrowed on the right
            {laptop, QRect(500, 200, 420, 290), QRect(0, 170, 488, 600)},    // narrowed on the left
        };
        for (const auto& c : cases) {
            const QRect place = solvane::QtHelpViewer::BesideGeometry(c.owner, c.screen);
            QCOMPARE(place, c.expected);
            QVERIFY(!place.intersects(c.owner));
        }
        // No room for the narrowest beside it: on the screen, over part of the dialog.
        const QRect small(0, 0, 800, 600);
        QCOMPARE(solvane::QtHelpViewer::BesideGeometry(QRect(200, 100, 360, 250), small), QRect(160, 12, 640, 558));
    }
};

SOLVANE_APP_SUITE(QtHelpViewerTest);

#include "QtHelpViewer_test.moc"
