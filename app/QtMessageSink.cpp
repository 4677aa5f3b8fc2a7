#include "app/QtMessageSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <cstdio>
#include <string>

#include "app/AppTexts.h"

namespace solvane {

QString QtMessageSink::DisplayText(std::string_view text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void QtMessageSink::ShowBox(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kMessageBoxTitle), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void QtMessageSink::Show(std::string_view module, std::uint32_t code, std::string_view text) {
    QCoreApplication* app = QCoreApplication::instance();
    if (qobject_cast<QApplication*>(app) == nullptr) {
        // No windows can be shown (before start-up or after the end): the report still goes somewhere.
        const std::string line = FormatReport(module, code, ReportText(module, code, text)) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        return;
    }
    const QString shown = DisplayText(ReportText(module, code, text));
    if (QThread::currentThread() == app->thread()) {
        ShowBox(shown);
        return;
    }
    // Widgets live on the UI thread; the reporting thread waits there until OK.
    QMetaObject::invokeMethod(app, [shown] { ShowBox(shown); }, Qt::BlockingQueuedConnection);
}

}  // namespace solvane
