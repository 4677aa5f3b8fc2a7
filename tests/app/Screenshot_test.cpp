// Pictures of every window for review, written to screenshots/ in the build
// folder: the dialog, the about box (also framed, to show its caption), a
// message, the window menu and the help page.

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTextBrowser>

#include "app/AboutDialog.h"
#include "app/MainDialog.h"
#include "app/QtHelpViewer.h"
#include "app/QtMessageSink.h"
#include "support/Messages.h"
#include "tests/app/AppTestSupport.h"

namespace {

QString Folder() { return QStringLiteral(SOLVANE_SCREENSHOT_DIR); }

// Saves the widget's picture and checks that it holds a drawing, not a blank.
bool Shoot(QWidget* widget, const QString& name, QString& problem) {
    const QPixmap picture = widget->grab();
    const QString path = QDir(Folder()).filePath(name + QStringLiteral(".png"));
    if (picture.isNull() || !picture.save(path)) {
        problem = name + QStringLiteral(": not saved");
        return false;
    }
    const QImage image(path);
    if (image.size() != widget->size() * widget->devicePixelRatio()) {
        problem = name + QStringLiteral(": wrong size");
        return false;
    }
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
    }
    if (colours.size() < 4) {
        problem = name + QStringLiteral(": blank");
        return false;
    }
    return true;
}

// The widget inside a Qt-drawn window frame, so that its caption shows.
QMdiSubWindow* Framed(QMdiArea& area, QWidget* widget) {
    QMdiSubWindow* frame = area.addSubWindow(widget, Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                                         Qt::WindowCloseButtonHint);
    widget->setWindowFlag(Qt::Dialog, false);
    frame->setWindowTitle(widget->windowTitle());
    frame->setWindowIcon(widget->windowIcon());
    frame->show();
    frame->adjustSize();
    area.resize(frame->size() + QSize(16, 16));
    return frame;
}

}  // namespace

class ScreenshotTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(QDir().mkpath(Folder())); }

    void mainDialog() {
        solvane::MainDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QString problem;
        QVERIFY2(Shoot(&dialog, QStringLiteral("main-dialog"), problem), qPrintable(problem));

        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdHorizontal))->setChecked(true);
        qobject_cast<QCheckBox*>(dialog.Control(solvane::kIdVertical))->setChecked(true);
        dialog.Control(solvane::kIdPlay)->setText(QString::fromUtf8(solvane::kStopCaption));
        QVERIFY2(Shoot(&dialog, QStringLiteral("main-dialog-playing"), problem), qPrintable(problem));
    }

    void framedWindowsShowTheirCaptions_data() {
        QTest::addColumn<bool>("about");
        QTest::newRow("main-dialog-framed") << false;
        QTest::newRow("about-framed") << true;
    }

    void framedWindowsShowTheirCaptions() {
        QFETCH(bool, about);
        QMdiArea area;
        QWidget* window = about ? static_cast<QWidget*>(new solvane::AboutDialog) : new solvane::MainDialog(nullptr);
        Framed(area, window);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        QString problem;
        QVERIFY2(Shoot(&area, QString::fromLatin1(QTest::currentDataTag()), problem), qPrintable(problem));
    }

    void aboutBox() {
        solvane::AboutDialog about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QString problem;
        QVERIFY2(Shoot(&about, QStringLiteral("about"), problem), qPrintable(problem));
    }

    void messageBox() {
        solvane::QtMessageSink sink;
        QString problem = QStringLiteral("no box");
        bool shot = false;
        solvane::test::WhenModal<QMessageBox> shooter([&](QMessageBox* box) {
            QTest::qWait(50);
            shot = Shoot(box, QStringLiteral("message"), problem);
            box->accept();
        });
        sink.Show("MidiF1Data", 0x02000001, solvane::ErrorMessage(solvane::Module::kMidiF1Data, 0x02000001));
        QVERIFY2(shot, qPrintable(problem));
    }

    void windowMenu() {
        solvane::MainDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QString problem = QStringLiteral("no menu");
        bool shot = false;
        solvane::test::WhenPopup<QMenu> shooter([&](QMenu* menu) {
            shot = Shoot(menu, QStringLiteral("window-menu"), problem);
            menu->close();
        });
        const QPoint at(30, 30);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, dialog.mapToGlobal(at));
        QApplication::sendEvent(&dialog, &event);
        QVERIFY2(shot, qPrintable(problem));
    }

    void helpPage() {
        solvane::QtHelpViewer help([](const QString&, const QStringList&) { return false; });
        QVERIFY(help.ShowTopic("Solvane.chm", "top.htm"));
        QVERIFY(QTest::qWaitForWindowExposed(help.Window()));
        QString problem;
        QVERIFY2(Shoot(help.Window(), QStringLiteral("help"), problem), qPrintable(problem));
    }
};

SOLVANE_APP_SUITE(ScreenshotTest);

#include "Screenshot_test.moc"
