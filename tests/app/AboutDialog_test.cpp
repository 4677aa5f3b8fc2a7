// The about box: its template, its content and how it closes.

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/AboutDialog.h"
#include "app/DialogFont.h"
#include "app/DialogUnits.h"
#include "tests/app/AppTestSupport.h"

class AboutDialogTest : public QObject {
    Q_OBJECT

private slots:
    void showsIconNameVersionAndOk() {
        solvane::AboutDialog about;
        QCOMPARE(about.windowTitle(), QString::fromUtf8("Vandrelのﾊﾞｰｼﾞｮﾝ情報"));
        const solvane::DialogUnits units(solvane::DialogFont());
        QCOMPARE(about.size(), units.MapSize(235, 55));
        QCOMPARE(about.minimumSize(), about.maximumSize());
        QVERIFY(!(about.windowFlags() & Qt::WindowMinimizeButtonHint));

        auto* name = about.findChild<QLabel*>(QStringLiteral("name"));
        auto* version = about.findChild<QLabel*>(QStringLiteral("version"));
        auto* icon = about.findChild<QLabel*>(QStringLiteral("icon"));
        auto* ok = about.findChild<QPushButton*>(QStringLiteral("ok"));
        QVERIFY(name && version && icon && ok);
        QCOMPARE(name->text(), QStringLiteral("Solvane"));
        QVERIFY(version->text().contains(QStringLiteral("1.0.0.1")));
        QCOMPARE(icon->pixmap().size(), QSize(32, 32));
        QVERIFY(ok->isDefault());
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        // Texts fit their template boxes in the dialog font.
        const QFontMetrics metrics(about.font());
        for (QLabel* label : {name, version}) {
            QVERIFY(metrics.horizontalAdvance(label->text()) <= label->width());
            QVERIFY(metrics.height() <= label->height() + 2);
        }
    }

    void iconHasBothTemplateSizes() {
        solvane::AboutDialog about;
        const QList<QSize> sizes = about.windowIcon().availableSizes();
        QVERIFY(sizes.contains(QSize(16, 16)));
        QVERIFY(sizes.contains(QSize(32, 32)));
        const QImage small = about.windowIcon().pixmap(16, 16).toImage();
        QVERIFY(!small.isNull());
        QVERIFY(small.pixel(8, 8) != small.pixel(0, 0));  // a picture, not a blank square
    }

    void okAndEscapeCloseIt_data() {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("OK") << false;
        QTest::newRow("Escape") << true;
    }

    void okAndEscapeCloseIt() {
        QFETCH(bool, byEscape);
        solvane::AboutDialog about;
        solvane::test::WhenModal<solvane::AboutDialog> closer([byEscape](solvane::AboutDialog* box) {
            if (byEscape) {
                QTest::keyClick(box, Qt::Key_Escape);
            } else {
                box->findChild<QPushButton*>(QStringLiteral("ok"))->click();
            }
        });
        const int result = about.exec();
        QVERIFY(closer.seen());
        QCOMPARE(result, byEscape ? int(QDialog::Rejected) : int(QDialog::Accepted));
    }
};

SOLVANE_APP_SUITE(AboutDialogTest);

#include "AboutDialog_test.moc"
