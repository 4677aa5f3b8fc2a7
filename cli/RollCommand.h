#pragma once
// solvane-cli roll: the piano roll of a piece, transformed as asked, as a
// PNG picture drawn offscreen with the preview window's own drawing. Lives in
// the companion program, which links Qt.

#include <string>
#include <vector>

namespace solvane::cli {

class CliSink;

// args after the command: [-H] [-V] [--ghost] [--size WxH] IN OUT.png. The
// exit status; OUT appears only when whole.
int RollCommand(const std::vector<std::string>& args, CliSink& sink);

}  // namespace solvane::cli
