#include "app/CommandLine.h"

#include <QFile>
#include <QString>
#include <QUrl>

namespace solvane {

const char* const kCommandLineUsage =
    "usage: solvane [FILE]\n"
    "       solvane --help | --version\n"
    "\n"
    "Opens the Solvane window. FILE, a Standard MIDI File (.mid, or .rmi), is\n"
    "loaded at start as the Load button loads a chosen file.\n"
    "The command line tool is solvane-cli; see solvane(1) and solvane-cli(1).\n"
    "\n"
    "Exit status: 0, or 64 for a wrong command line.\n";

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    bool options = true;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            line.action = CommandLine::Action::kHelp;
            return line;
        } else if (options && (arg == "--version" || arg == "-v")) {
            line.action = CommandLine::Action::kVersion;
            return line;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            line.action = CommandLine::Action::kUsageError;
            line.problem = "unknown option " + arg;
            return line;
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() > 1) {
        line.action = CommandLine::Action::kUsageError;
        line.problem = "one file at a time";
        return line;
    }
    if (!files.empty()) {
        line.file = files.front();
        // A path is kept byte for byte; only a file: URL is turned into one.
        if (line.file.rfind("file:", 0) == 0) {
            const QUrl url(QString::fromStdString(line.file));
            if (url.isLocalFile()) line.file = QFile::encodeName(url.toLocalFile()).toStdString();
        }
    }
    return line;
}

}  // namespace solvane
