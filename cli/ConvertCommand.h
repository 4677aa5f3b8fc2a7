#pragma once
// solvane-cli convert: one file to another, a pipe included, or a batch of
// files into a folder, each converted as the window's Save converts it.

#include <string>
#include <vector>

#include "song/Transformation.h"

namespace solvane::cli {

class CliSink;

using solvane::Reversals;

// -H, -V, both at once and --musical, for every command that reverses;
// false for any other argument.
bool ReversalFlag(const std::string& arg, Reversals& reversals);
// What is wrong with the flags together, or empty: --musical keeps passages
// of the time mirror, so it needs -H.
std::string ReversalProblem(Reversals reversals);

// Loads in ("-": standard input), reverses as asked and writes the result to
// out ("-": standard output); the exit status. Reports name in, or out for
// a write that fails.
int ConvertFile(const std::string& in, const std::string& out, Reversals reversals, CliSink& sink);

// args after the command: [-H] [-V] [--musical] IN OUT, or the same with [-r] --out-dir DIR IN...
int ConvertCommand(const std::vector<std::string>& args, CliSink& sink);

}  // namespace solvane::cli
