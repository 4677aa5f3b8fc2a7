// The steps of `solvane-cli convert -H -V IN OUT` in a plain program: linked
// dynamically, with the default allocator (no huge-page heap), so that the
// whole-process timing shows what solvane-cli's process set-up gains.
//
//   convert_core IN OUT

#include <cstdio>
#include <string>

#include "platform/MessageSink.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "song/Transformation.h"
#include "support/General.h"

namespace {

class StderrSink : public solvane::MessageSink {
public:
    void Show(std::string_view module, std::uint32_t code, std::string_view text) override {
        const std::string line = "convert_core: " + solvane::FormatReport(module, code, text) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: convert_core IN OUT\n");
        return 64;
    }
    StderrSink sink;
    solvane::InstallMessageSink(&sink);
    solvane::MidiFileLoader loader(argv[1], solvane::MidiFileLoader::AndBuildSong{});
    if (loader.size == 0 || !loader.song) return 2;
    solvane::MidiF0Data& song = *loader.song;  // converted itself, as solvane-cli does
    solvane::ApplyReversals(song, {true, true});
    song.WriteSmf();
    solvane::WriteWholeFile(argv[2], song.Bytes(), song.size);
    solvane::InstallMessageSink(nullptr);
    return 0;
}
