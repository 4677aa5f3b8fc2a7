// The Qt file dialogs behind Load and Save.

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/QtFileChooser.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/SmfBuilder.h"

namespace {

struct SeenDialog {
    QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
    QFileDialog::FileMode fileMode = QFileDialog::ExistingFile;
    QStringList nameFilters;
    QString defaultSuffix;
    bool confirmsOverwrite = true;
    Qt::WindowModality modality = Qt::NonModal;
};

// Types name into the dialog's name field in folder and presses Enter.
void TypeName(QFileDialog* dialog, const QString& folder, const QString& name, SeenDialog& seen) {
    seen.acceptMode = dialog->acceptMode();
    seen.fileMode = dialog->fileMode();
    seen.nameFilters = dialog->nameFilters();
    seen.defaultSuffix = dialog->defaultSuffix();
    seen.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    seen.modality = dialog->windowModality();
    dialog->setDirectory(folder);
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (edit == nullptr) {
        dialog->reject();
        return;
    }
    edit->setText(name);
    QTest::keyClick(edit, Qt::Key_Return);
}

}  // namespace

class QtFileChooserTest : public QObject {
    Q_OBJECT

private slots:
    void filtersArePairsOfDescriptionAndPattern() {
        QCOMPARE(solvane::QtFileChooser::NameFilters("SMF files|*.mid|"), QStringLiteral("SMF files (*.mid)"));
        QCOMPARE(solvane::QtFileChooser::NameFilters("midi files|*.mid|"), QStringLiteral("midi files (*.mid)"));
        QCOMPARE(solvane::QtFileChooser::NameFilters("A|*.a|B|*.b;*.c|"), QStringLiteral("A (*.a);;B (*.b;*.c)"));
        QCOMPARE(solvane::QtFileChooser::NameFilters("A|*.a||"), QStringLiteral("A (*.a)"));
    }

    void openAcceptsTheNameOfAFileThatDoesNotExist() {
        const solvane::test::TempFile folderMarker(std::string("marker.txt"));
        const QString folder = QString::fromStdString(std::filesystem::path(folderMarker.path()).parent_path().string());
        solvane::QtFileChooser chooser;
        SeenDialog seen;
        solvane::test::WhenModal<QFileDialog> typist(
            [&](QFileDialog* dialog) { TypeName(dialog, folder, QStringLiteral("missing"), seen); });
        std::string path = "unchanged";
        QVERIFY(chooser.AskOpen("mid", "SMF files|*.mid|", path));
        QVERIFY(typist.seen());
        QCOMPARE(seen.acceptMode, QFileDialog::AcceptOpen);
        QCOMPARE(seen.fileMode, QFileDialog::AnyFile);
        QCOMPARE(seen.nameFilters, QStringList{QStringLiteral("SMF files (*.mid)")});
        QCOMPARE(seen.defaultSuffix, QStringLiteral("mid"));
        QCOMPARE(seen.modality, Qt::ApplicationModal);
        QCOMPARE(QString::fromStdString(path), QDir(folder).filePath(QStringLiteral("missing.mid")));
        QVERIFY(!std::filesystem::exists(path));
    }

    void saveReplacesAnExistingFileWithoutAsking() {
        const solvane::test::TempFile existing(solvane::test::Bytes{1, 2, 3}, "old.mid");
        const QString folder = QString::fromStdString(std::filesystem::path(existing.path()).parent_path().string());
        solvane::QtFileChooser chooser;
        SeenDialog seen;
        solvane::test::WhenModal<QFileDialog> typist(
            [&](QFileDialog* dialog) { TypeName(dialog, folder, QStringLiteral("old"), seen); });
        bool asked = false;
        solvane::test::WhenModal<QMessageBox> question(
            [&](QMessageBox* box) {
                asked = true;
                box->accept();
            },
            10000);
        std::string path;
        QVERIFY(chooser.AskSave("mid", "midi files|*.mid|", path));
        QCOMPARE(seen.acceptMode, QFileDialog::AcceptSave);
        QCOMPARE(seen.nameFilters, QStringList{QStringLiteral("midi files (*.mid)")});
        QCOMPARE(seen.defaultSuffix, QStringLiteral("mid"));
        QVERIFY(!seen.confirmsOverwrite);
        QCOMPARE(path, existing.path());
        QVERIFY(!asked);
    }

    void cancelLeavesThePathAsItWas_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("open") << false;
        QTest::newRow("save") << true;
    }

    void cancelLeavesThePathAsItWas() {
        QFETCH(bool, save);
        solvane::QtFileChooser chooser;
        solvane::test::WhenModal<QFileDialog> canceller([](QFileDialog* dialog) { dialog->reject(); });
        std::string path = "before";
        const bool chosen = save ? chooser.AskSave("mid", "midi files|*.mid|", path)
                                 : chooser.AskOpen("mid", "SMF files|*.mid|", path);
        QVERIFY(canceller.seen());
        QVERIFY(!chosen);
        QCOMPARE(path, std::string("before"));
    }
};

SOLVANE_APP_SUITE(QtFileChooserTest);

#include "QtFileChooser_test.moc"
