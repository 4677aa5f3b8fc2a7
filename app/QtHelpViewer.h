#pragma once
// Shows a topic of the help file. With the compiled help file beside the
// program or in the current folder and kchmviewer on the PATH, that viewer is
// started on its own; otherwise the program's built-in page for the topic is
// shown in a help window, which stays open beside the dialog and is reused.
// It first opens beside the dialog, where it hides none of its buttons, and
// Escape closes it.

#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <string_view>

#include "platform/HelpViewer.h"

class QTextBrowser;

namespace solvane {

class QtHelpViewer : public HelpViewer {
public:
    // Starts a program detached; true when it started.
    using Launcher = std::function<bool(const QString& program, const QStringList& arguments)>;

    QtHelpViewer();
    explicit QtHelpViewer(Launcher launcher);
    ~QtHelpViewer() override;
    QtHelpViewer(const QtHelpViewer&) = delete;
    QtHelpViewer& operator=(const QtHelpViewer&) = delete;

    bool ShowTopic(std::string_view file, std::string_view topic) override;

    // The built-in help window once it has been opened, else nullptr.
    QTextBrowser* Window() const;

    // The help file beside the program, else in the current folder; empty when neither has it.
    static QString FindHelpFile(const QString& file);

    // The help window's size on a screen: its default, cut to what the screen has.
    static QSize WindowSize(const QRect& screen);
    // The narrowest the help window is made to fit beside the dialog.
    static constexpr int kNarrowestWidth = 420;
    // Where the help window goes beside owner (frames, in screen
    // coordinates): to its right, else to its left, at its default size;
    // else narrowed to the wider side's room. Only where even the narrowest
    // window does not fit beside it does it cover part of owner. Always on
    // the screen, and level with the owner's top where the screen allows.
    static QRect BesideGeometry(const QRect& owner, const QRect& screen);

private:
    bool ShowBuiltIn(const QString& topic);

    Launcher launcher_;
    QPointer<QTextBrowser> window_;
};

}  // namespace solvane
