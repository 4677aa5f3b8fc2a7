#pragma once
// solvane-cli convert: one file to another, a pipe included, or a batch of
// files into a folder, each converted as the window's Save converts it.

#include <string>
#include <vector>

#include "song/Transformation.h"

namespace solvane::cli {

class CliSink;

using solvane::Reversals;

// -H, -V and both at once; false for any other argument.
bool ReversalFlag(const std::string& arg, bool& horizontal, bool& vertical);
// The same into the options every command that transforms takes; a new
// option of Reversals gets its flag here, once for all of them.
bool ReversalFlag(const std::string& arg, Reversals& reversals);

// Loads in ("-": standard input), reverses as asked and writes the result to
// out ("-": standard output); the exit status. Reports name in, or out for
// a write that fails.
int ConvertFile(const std::string& in, const std::string& out, Reversals reversals, CliSink& sink);

// args after the command: [-H] [-V] IN OUT, or [-H] [-V] [-r] --out-dir DIR IN...
int ConvertCommand(const std::vector<std::string>& args, CliSink& sink);

}  // namespace solvane::cli
