// The steps of `solvane-cli convert -H -V IN OUT` in a program linked with
// the core alone (no playback or sound libraries to load at start-up), so
// that the whole-process timing can tell start-up from the work itself.
//
//   convert_core IN OUT

#include <cstdio>
#include <string>

#include "platform/MessageSink.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
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
    solvane::MidiFileLoader loader(argv[1]);
    if (loader.size == 0) return 2;
    loader.BuildSong();
    if (!loader.song) return 2;
    solvane::MidiF0Data copy(*loader.song);
    copy.ToEventForm();
    copy.ReverseHorizontal();
    copy.ReverseVertical();
    copy.WriteSmf();
    solvane::WriteWholeFile(argv[2], copy.Bytes(), copy.size);
    solvane::InstallMessageSink(nullptr);
    return 0;
}
