#include "app/QtFileChooser.h"

#include <QApplication>
#include <QFile>
#include <QStringList>

namespace solvane {
namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString QtFileChooser::NameFilters(std::string_view filter) {
    const QStringList parts = FromUtf8(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty()) break;
        filters << QStringLiteral("%1 (%2)").arg(parts[i], parts[i + 1]);
    }
    return filters.join(QStringLiteral(";;"));
}

bool QtFileChooser::Ask(QFileDialog::AcceptMode mode, std::string_view defaultExtension, std::string_view filter,
                        std::string& path) {
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAcceptMode(mode);
    // AnyFile also for opening: a typed name that does not exist comes back
    // as chosen. Qt's own dialog, since desktop dialogs may refuse it.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilter(NameFilters(filter));
    dialog.setDefaultSuffix(FromUtf8(defaultExtension));
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return false;
    path = QFile::encodeName(chosen.first()).toStdString();
    return true;
}

bool QtFileChooser::AskOpen(std::string_view defaultExtension, std::string_view filter, std::string& path) {
    return Ask(QFileDialog::AcceptOpen, defaultExtension, filter, path);
}

bool QtFileChooser::AskSave(std::string_view defaultExtension, std::string_view filter, std::string& path) {
    return Ask(QFileDialog::AcceptSave, defaultExtension, filter, path);
}

}  // namespace solvane
