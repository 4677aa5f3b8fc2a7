#pragma once
// solvane-cli info [--json] IN...: what was loaded from each file, how long
// it plays, its tempo events and track names, as text or as one JSON object
// a line.

#include <string>
#include <vector>

namespace solvane::cli {

class CliSink;

// args after the command; the exit status (the worst of the files').
int InfoCommand(const std::vector<std::string>& args, CliSink& sink);

}  // namespace solvane::cli
