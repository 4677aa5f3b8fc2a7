#pragma once
// solvane-cli convert --out-dir DIR IN...: every file converted in this one
// process into DIR under its own name, each exactly as converting it alone
// would (bytes, reports, status). A folder given as IN gives its MIDI files.

#include <string>
#include <vector>

#include "cli/ConvertCommand.h"

namespace solvane::cli {

class CliSink;

// The name a converted file gets in the folder: its own when it ends in
// .mid (in any case), else its stem with .mid.
std::string OutputName(const std::string& in);

// Returns the worst status of the files, or 1 when DIR cannot be made.
int ConvertBatch(const std::vector<std::string>& inputs, const std::string& dir, bool recursive, Reversals reversals,
                 CliSink& sink);

}  // namespace solvane::cli
