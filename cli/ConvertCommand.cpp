#include "cli/ConvertCommand.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "cli/Batch.h"
#include "cli/CliSink.h"
#include "cli/ExitStatus.h"
#include "cli/StdinSpool.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "support/General.h"
#include "support/Messages.h"

namespace solvane::cli {
namespace {

// The whole file on standard output, written as it stands (appending where
// the shell opened it so), which a reopened /dev/stdout would not do.
bool WriteStandardOutput(const std::uint8_t* bytes, std::size_t size, std::string& why) {
    while (size > 0) {
        const ssize_t n = write(STDOUT_FILENO, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            why = std::strerror(n < 0 ? errno : EIO);
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool ReversalFlag(const std::string& arg, Reversals& reversals) {
    const bool both = arg == "-HV" || arg == "-VH";
    const bool horizontal = both || arg == "-H" || arg == "--horizontal";
    const bool vertical = both || arg == "-V" || arg == "--vertical";
    const bool musical = arg == "--musical";
    reversals.horizontal = reversals.horizontal || horizontal;
    reversals.vertical = reversals.vertical || vertical;
    reversals.musical = reversals.musical || musical;
    return horizontal || vertical || musical;
}

std::string ReversalProblem(Reversals reversals) {
    if (reversals.musical && !reversals.horizontal) return "--musical goes with -H (it keeps the passages of the time mirror)";
    return {};
}

int ConvertFile(const std::string& in, const std::string& out, Reversals reversals, CliSink& sink) {
    sink.About(in);
    std::optional<StdinSpool> spool;
    const std::string& path = in == "-" ? spool.emplace().path() : in;
    const std::uint64_t errorsBefore = ErrorsReported();
    MidiFileLoader loader(path, MidiFileLoader::AndBuildSong{});
    if (loader.size == 0 || !loader.song) return kExitNoSong;
    // The window's Save: event form, time mirror, then pitch inversion. The
    // window works on a copy, as its loaded piece stays; here nothing else
    // needs the piece, so it is converted itself, without a copy of every event.
    MidiF0Data& song = *loader.song;
    ApplyReversals(song, reversals);
    song.WriteSmf();
    // The writer has said why when there was no complete track to write:
    // nothing usable was loaded, and OUT is left as it was.
    if (!song.HoldsWrittenFile()) return kExitNoSong;
    const int done = ErrorsReported() != errorsBefore ? kExitWithErrors : kExitWritten;
    if (out == "-") {
        std::string why;
        if (WriteStandardOutput(song.Bytes(), static_cast<std::size_t>(song.size), why)) return done;
        sink.Say(out, "cannot write to standard output: " + why);
        return kExitFailed;
    }
    const int before = sink.cannotOpen.load();
    sink.About(out);
    WriteWholeFile(out, song.Bytes(), song.size);
    sink.About(in);  // what the song's release may still report is about IN
    return sink.cannotOpen == before ? done : kExitFailed;
}

int ConvertCommand(const std::vector<std::string>& args, CliSink& sink) {
    Reversals reversals;
    std::optional<std::string> outDir;
    bool recursive = false;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (ReversalFlag(arg, reversals)) {
        } else if (arg == "--out-dir") {
            if (i + 1 >= args.size()) return UsageError("--out-dir needs a folder");
            outDir = args[++i];
        } else if (arg.rfind("--out-dir=", 0) == 0) {
            outDir = arg.substr(10);
        } else if (arg == "-r" || arg == "--recursive") {
            recursive = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (const std::string problem = ReversalProblem(reversals); !problem.empty()) return UsageError(problem);
    if (outDir) {
        if (outDir->empty()) return UsageError("--out-dir needs a folder");
        if (files.empty()) return UsageError("convert --out-dir needs at least one IN");
        for (const std::string& file : files) {
            if (file == "-") return UsageError("standard input (-) has no name to be written under in --out-dir");
        }
        return ConvertBatch(files, *outDir, recursive, reversals, sink);
    }
    if (recursive) return UsageError("-r goes with --out-dir");
    if (files.size() != 2) return UsageError("convert needs IN and OUT");
    if (files[1] == "-" && isatty(STDOUT_FILENO) == 1) {
        sink.Say("-", "standard output is a terminal: give OUT a file name, or send - to a file or a pipe");
        return kExitFailed;
    }
    const int status = ConvertFile(files[0], files[1], reversals, sink);
    sink.About("");
    return status;
}

}  // namespace solvane::cli
