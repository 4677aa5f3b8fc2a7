#pragma once
// What the dialog's command line asks for: solvane [--help | --version] [FILE].
// FILE is loaded at start as Load loads a chosen file; the desktop's "open
// with" hands it over so, as a path or a file: URL. Qt's own options are not
// taken: the window has none to offer.

#include <string>
#include <vector>

namespace solvane {

struct CommandLine {
    enum class Action { kRun, kHelp, kVersion, kUsageError };
    Action action = Action::kRun;
    std::string file;     // as the file system names it; empty when none was given
    std::string problem;  // what is wrong, for kUsageError
};

// args without the program's name, as the system gave them.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The text --help prints.
extern const char* const kCommandLineUsage;

}  // namespace solvane
