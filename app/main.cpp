// solvane: the dialog. Start-up runs the one modal window; the program ends
// when it closes. The command line may name a file to load at start; the
// user's settings give the language.

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/AppResources.h"
#include "app/CommandLine.h"
#include "app/MainDialog.h"
#include "app/QtFileChooser.h"
#include "app/QtHelpViewer.h"
#include "app/QtMessageSink.h"
#include "app/Settings.h"
#include "app/UiTimer.h"
#include "platform/MidiOutFactory.h"
#include "platform/FileChooser.h"
#include "platform/MessageSink.h"
#include "platform/MidiOutDevice.h"
#include "platform/OneShotTimer.h"
#include "platform/SoundLibraryVersions.h"
#include "playback/MusicPlayer.h"

int main(int argc, char** argv) {
    const solvane::CommandLine line = solvane::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.action) {
        case solvane::CommandLine::Action::kHelp:
            std::fputs(solvane::kCommandLineUsage, stdout);
            return 0;
        case solvane::CommandLine::Action::kVersion:
            std::printf("solvane %s\nQt %s\nFluidSynth %s\n", solvane::kVersionText, qVersion(),
                        solvane::FluidSynthVersion().c_str());
            return 0;
        case solvane::CommandLine::Action::kUsageError:
            std::fprintf(stderr, "solvane: %s\n%s", line.problem.c_str(), solvane::kCommandLineUsage);
            return 64;
        case solvane::CommandLine::Action::kRun:
            break;
    }
    // Qt is not given the arguments: they are ours, and its own options
    // would take a file named like one of them.
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Solvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(solvane::kVersionText));
    QApplication::setDesktopFileName(QStringLiteral("solvane"));
    QApplication::setWindowIcon(solvane::ApplicationIcon());

    solvane::QtMessageSink sink;
    solvane::QtFileChooser chooser;
    solvane::QtHelpViewer help;
    // The output and soundfont the user chose, told by the window before each play.
    solvane::ChosenMidiOut output;
    solvane::UiTimer timer;
    solvane::InstallMessageSink(&sink);
    solvane::InstallFileChooser(&chooser);
    solvane::InstallMidiOutDevice(&output);
    solvane::InstallTimer(&timer);
    solvane::Settings settings;
    {
        solvane::MainDialog dialog(&help);
        dialog.UseOutput(&output);
        dialog.UseSettings(&settings);
        // Once the window is up, so that the load's messages show over it.
        if (!line.file.empty()) {
            QTimer::singleShot(0, &dialog, [&dialog, file = line.file] { dialog.OpenFile(file); });
        }
        dialog.exec();
    }
    // A play still running when the window closed is ended here, so that its
    // output is reset (no note or pedal left hanging) before the program goes;
    // a report it makes on the way is still shown.
    solvane::musicPlayer.Shutdown([] { QCoreApplication::processEvents(); });
    solvane::InstallFileChooser(nullptr);
    solvane::InstallMessageSink(nullptr);
    if (solvane::musicPlayer.liveWorkers.load() > 0) {
        // A worker that will not end still uses the output and the timer:
        // leave without tearing them down under it.
        std::_Exit(0);
    }
    solvane::InstallTimer(nullptr);
    solvane::InstallMidiOutDevice(nullptr);
    return 0;
}
