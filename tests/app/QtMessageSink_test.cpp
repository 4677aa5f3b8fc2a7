// The windowed message sink: exact text, one OK button, and a reporting
// thread that waits until OK is pressed.

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <QTest>
#include <atomic>
#include <thread>

#include "app/QtMessageSink.h"
#include "support/Messages.h"
#include "tests/app/AppTestSupport.h"

namespace {

struct SeenBox {
    QString text;
    QString title;
    int buttons = 0;
    bool onlyOk = false;
    Qt::WindowModality modality = Qt::NonModal;
    QMessageBox::Icon icon = QMessageBox::Information;
};

SeenBox Inspect(QMessageBox* box) {
    SeenBox seen;
    seen.text = box->text();
    seen.title = box->windowTitle();
    seen.buttons = static_cast<int>(box->buttons().size());
    seen.onlyOk = box->standardButtons() == QMessageBox::Ok;
    seen.modality = box->windowModality();
    seen.icon = box->icon();
    return seen;
}

// Presses OK on every message box that comes up, after handing it to look.
class OkPresser {
public:
    explicit OkPresser(std::function<void(QMessageBox*)> look) : look_(std::move(look)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible() || busy_) return;
            busy_ = true;
            look_(box);
            ++pressed_;
            box->button(QMessageBox::Ok)->click();
            busy_ = false;
        });
        timer_.start(10);
    }
    int pressed() const { return pressed_; }

private:
    std::function<void(QMessageBox*)> look_;
    QTimer timer_;
    int pressed_ = 0;
    bool busy_ = false;
};

}  // namespace

class QtMessageSinkTest : public QObject {
    Q_OBJECT

private slots:
    void reportOnTheUiThreadIsShownAtOnceWithItsExactText() {
        solvane::QtMessageSink sink;
        const std::string_view text = solvane::ErrorMessage(solvane::Module::kMidiFileLoader, 0x17000002);
        SeenBox seen;
        solvane::test::WhenModal<QMessageBox> closer([&](QMessageBox* box) {
            seen = Inspect(box);
            box->button(QMessageBox::Ok)->click();
        });
        sink.Show("MidiFileLoader", 0x17000002, text);
        QVERIFY(closer.seen());
        QCOMPARE(seen.text, QString::fromUtf8("Midiファイルではありません。"));
        QCOMPARE(seen.title, QStringLiteral("Solvane"));
        QCOMPARE(seen.buttons, 1);
        QVERIFY(seen.onlyOk);
        QCOMPARE(seen.modality, Qt::ApplicationModal);
        QCOMPARE(seen.icon, QMessageBox::NoIcon);
    }

    void carriageReturnsShowAsLineBreaks() {
        const std::string_view text = solvane::ErrorMessage(solvane::Module::kMidiF1Data, 0x02000001);
        QCOMPARE(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).count(QLatin1Char('\r')), 2);
        const QString shown = solvane::QtMessageSink::DisplayText(text);
        QVERIFY(!shown.contains(QLatin1Char('\r')));
        QCOMPARE(shown.split(QLatin1Char('\n')).size(), 3);
        QVERIFY(shown.startsWith(QString::fromUtf8("このファイルに設定されているトラック数")));
        QCOMPARE(solvane::QtMessageSink::DisplayText("a\r\nb"), QStringLiteral("a\nb"));
        QCOMPARE(solvane::QtMessageSink::DisplayText("再生中は終了できません!"), QString::fromUtf8("再生中は終了できません!"));
    }

    void reportFromAWorkerWaitsUntilOkIsPressed() {
        solvane::QtMessageSink sink;
        std::atomic<bool> returned{false};
        SeenBox seen;
        bool waitedForOk = false;
        // The box runs its own loop on this thread; OK is pressed from there.
        OkPresser presser([&](QMessageBox* box) {
            seen = Inspect(box);
            QTest::qWait(200);
            waitedForOk = !returned;
        });
        std::thread worker([&] {
            sink.Show("MidiControler", 0x07000001,
                      solvane::ErrorMessage(solvane::Module::kMidiControler, 0x07000001));
            returned = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(returned, 10000);
        worker.join();
        QCOMPARE(presser.pressed(), 1);
        QVERIFY(waitedForOk);
        QCOMPARE(seen.text, QString::fromUtf8("Midiデバイスのオープンに失敗しました。"));
        QVERIFY(seen.onlyOk);
    }

    void reportsFromSeveralWorkersAreEachShownAndEachWaitsForItsOk() {
        solvane::QtMessageSink sink;
        std::atomic<int> returned{0};
        QStringList texts;
        QList<int> returnedBeforeOk;
        OkPresser presser([&](QMessageBox* box) {
            texts << box->text();
            returnedBeforeOk << returned.load();
        });
        std::thread first([&] {
            sink.Show("General", 1, "データが大きすぎます。");
            ++returned;
        });
        std::thread second([&] {
            sink.Show("General", 2, "メモリーが不足しています。");
            ++returned;
        });
        QTRY_VERIFY_WITH_TIMEOUT(returned == 2, 10000);
        first.join();
        second.join();
        // A second box may open on top of the first; either way no worker
        // went on before a box had been answered for it.
        QCOMPARE(returnedBeforeOk.size(), 2);
        QCOMPARE(returnedBeforeOk[0], 0);
        QVERIFY(returnedBeforeOk[1] <= 1);
        texts.sort();
        QStringList expected{QString::fromUtf8("データが大きすぎます。"), QString::fromUtf8("メモリーが不足しています。")};
        expected.sort();
        QCOMPARE(texts, expected);
    }
};

SOLVANE_APP_SUITE(QtMessageSinkTest);

#include "QtMessageSink_test.moc"
