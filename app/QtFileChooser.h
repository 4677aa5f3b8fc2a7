#pragma once
// The open and save dialogs as Qt file dialogs. Opening accepts the name of
// a file that does not exist (the read then reports it); saving replaces an
// existing file without asking. A name without extension gets the default one.

#include <QFileDialog>
#include <QString>
#include <string>
#include <string_view>

#include "platform/FileChooser.h"

namespace solvane {

class QtFileChooser : public FileChooser {
public:
    bool AskOpen(std::string_view defaultExtension, std::string_view filter, std::string& path) override;
    bool AskSave(std::string_view defaultExtension, std::string_view filter, std::string& path) override;

    // "SMF files|*.mid|" becomes "SMF files (*.mid)"; several pairs are joined with ";;".
    static QString NameFilters(std::string_view filter);

private:
    static bool Ask(QFileDialog::AcceptMode mode, std::string_view defaultExtension, std::string_view filter,
                    std::string& path);
};

}  // namespace solvane
