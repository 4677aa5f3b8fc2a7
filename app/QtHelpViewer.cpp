#include "app/QtHelpViewer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>

#include "app/AppResources.h"

namespace solvane {
namespace {

constexpr const char* kViewer = "kchmviewer";

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtHelpViewer::QtHelpViewer()
    : QtHelpViewer([](const QString& program, const QStringList& arguments) {
          return QProcess::startDetached(program, arguments);
      }) {}

QtHelpViewer::QtHelpViewer(Launcher launcher) : launcher_(std::move(launcher)) {}

QtHelpViewer::~QtHelpViewer() {
    // A window opened without an owner is ours to close.
    if (window_ != nullptr && window_->parent() == nullptr) delete window_.data();
}

QTextBrowser* QtHelpViewer::Window() const { return window_.data(); }

QString QtHelpViewer::FindHelpFile(const QString& file) {
    for (const QString& folder : {QCoreApplication::applicationDirPath(), QDir::currentPath()}) {
        const QFileInfo candidate(QDir(folder), file);
        if (candidate.isFile()) return candidate.absoluteFilePath();
    }
    return {};
}

bool QtHelpViewer::ShowTopic(std::string_view file, std::string_view topic) {
    const QString helpFile = FindHelpFile(FromUtf8(file));
    const QString viewer = QStandardPaths::findExecutable(QString::fromLatin1(kViewer));
    if (!helpFile.isEmpty() && !viewer.isEmpty() &&
        launcher_(viewer, {QStringLiteral("-showPage"), FromUtf8(topic), helpFile})) {
        return true;
    }
    return ShowBuiltIn(FromUtf8(topic));
}

bool QtHelpViewer::ShowBuiltIn(const QString& topic) {
    const QUrl page(HelpPageUrl(topic));
    if (!QFileInfo::exists(QLatin1Char(':') + page.path())) return false;
    if (window_ == nullptr) {
        // Owned by the modal dialog, if one is up, so that it takes input beside it.
        window_ = new QTextBrowser(QApplication::activeModalWidget());
        window_->setWindowFlags(Qt::Window);
        window_->setWindowTitle(QStringLiteral("Solvane Help"));
        window_->setWindowIcon(ApplicationIcon());
        window_->setOpenExternalLinks(true);
        window_->resize(640, 600);
    }
    window_->setSource(page);
    window_->show();
    window_->raise();
    window_->activateWindow();
    return true;
}

}  // namespace solvane
