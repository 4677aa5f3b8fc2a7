#pragma once
// The open and save file dialogs. The window installs Qt dialogs, tests a fake;
// with nothing installed every question is answered as if cancelled.

#include <string>
#include <string_view>

#include "platform/Installed.h"

namespace solvane {

class FileChooser {
public:
    virtual ~FileChooser() = default;
    // filter is "description|pattern|" pairs; defaultExtension has no dot.
    // Returns false when the user cancelled; path is then unchanged.
    virtual bool AskOpen(std::string_view defaultExtension, std::string_view filter,
                         std::string& path) = 0;
    virtual bool AskSave(std::string_view defaultExtension, std::string_view filter,
                         std::string& path) = 0;
};

inline void InstallFileChooser(FileChooser* chooser) { Installed<FileChooser>::Install(chooser); }
// nullptr when none is installed.
inline FileChooser* CurrentFileChooser() { return Installed<FileChooser>::Current(); }

}  // namespace solvane
