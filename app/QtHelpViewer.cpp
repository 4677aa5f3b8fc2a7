#include "app/QtHelpViewer.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>
#include <algorithm>

#include "app/AppResources.h"

namespace solvane {
namespace {

constexpr const char* kViewer = "kchmviewer";
constexpr QSize kDefaultSize(640, 600);
// Between the dialog's frame and the help window's, which gets its own frame
// from the window manager once shown.
constexpr int kGap = 12;
// The title bar that frame adds above the window, so that its bottom stays on the screen.
constexpr int kTitleBar = 30;

// The page, in its own window that Escape closes as it closes the dialogs.
class HelpBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
            close();
            return;
        }
        QTextBrowser::keyPressEvent(event);
    }
};

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

QSize QtHelpViewer::WindowSize(const QRect& screen) {
    return kDefaultSize.boundedTo(screen.size() - QSize(kGap, kTitleBar + kGap));
}

QRect QtHelpViewer::BesideGeometry(const QRect& owner, const QRect& screen) {
    QSize size = WindowSize(screen);
    const int roomRight = screen.right() - owner.right() - kGap;
    const int roomLeft = owner.left() - screen.left() - kGap;
    const bool right = roomRight >= size.width() || (roomLeft < size.width() && roomRight >= roomLeft);
    const int room = right ? roomRight : roomLeft;
    if (room < size.width() && room >= kNarrowestWidth) size.setWidth(room);
    int x = right ? owner.right() + 1 + kGap : owner.left() - kGap - size.width();
    x = std::clamp(x, screen.left(), std::max(screen.left(), screen.right() + 1 - size.width()));
    const int lowest = screen.bottom() + 1 - size.height() - kTitleBar;
    const int y = std::clamp(owner.top(), screen.top(), std::max(screen.top(), lowest));
    return {QPoint(x, y), size};
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
        QWidget* owner = QApplication::activeModalWidget();
        window_ = new HelpBrowser(owner);
        window_->setWindowFlags(Qt::Window);
        window_->setWindowTitle(QStringLiteral("Solvane Help"));
        window_->setWindowIcon(ApplicationIcon());
        window_->setOpenExternalLinks(true);
        QScreen* screen = owner != nullptr ? owner->screen() : QApplication::primaryScreen();
        const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(QPoint(0, 0), kDefaultSize);
        // Over the dialog it would hide the very buttons one reads about.
        const QRect place = owner != nullptr ? BesideGeometry(owner->frameGeometry(), available)
                                             : QRect(available.topLeft(), WindowSize(available));
        window_->resize(place.size());
        if (owner != nullptr) window_->move(place.topLeft());
    }
    window_->setSource(page);
    window_->show();
    window_->raise();
    window_->activateWindow();
    return true;
}

}  // namespace solvane
