#include "cli/Batch.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "cli/CliSink.h"
#include "cli/ExitStatus.h"
#include "track/MidiTrackData.h"

namespace solvane::cli {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsMidiName(const fs::path& path) {
    const std::string extension = Lower(path.extension().string());
    return extension == ".mid" || extension == ".midi" || extension == ".kar" || extension == ".smf" ||
           extension == ".rmi";
}

// The MIDI files of a folder (and its subfolders when recursive), by name.
// The batch's own folder is not searched: a second run over a folder that
// holds it would otherwise take the first run's results for sources.
std::vector<std::string> MidiFilesOf(const fs::path& folder, bool recursive, const fs::path& outDir, CliSink& sink) {
    std::vector<std::string> found;
    std::error_code error;
    const auto take = [&](const fs::directory_entry& entry) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && IsMidiName(entry.path())) found.push_back(entry.path().string());
    };
    if (recursive) {
        for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end; it.increment(error)) {
            std::error_code ignored;
            if (it->is_directory(ignored) && fs::equivalent(it->path(), outDir, ignored)) {
                it.disable_recursion_pending();
                continue;
            }
            take(*it);
        }
    } else {
        for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) take(*it);
    }
    if (error) sink.Say(folder.string(), "cannot read the folder: " + error.message());
    std::sort(found.begin(), found.end());
    return found;
}

struct Item {
    std::string in;
    std::string out;
    std::string skipped;  // why the file is not converted; empty when it is
};

// Every file with its target. The first file to claim a name gets it; a
// later one is skipped, and so is one whose target is another file of the
// batch, which is never written over before (or instead of) being read.
std::vector<Item> Plan(const std::vector<std::string>& inputs, const fs::path& dir, bool recursive, CliSink& sink) {
    std::vector<Item> items;
    for (const std::string& in : inputs) {
        std::error_code error;
        if (fs::is_directory(in, error)) {
            const std::vector<std::string> files = MidiFilesOf(in, recursive, dir, sink);
            if (files.empty()) sink.Say(in, "no .mid, .midi, .kar, .smf or .rmi file in this folder");
            for (const std::string& file : files) items.push_back({file, {}, {}});
        } else {
            items.push_back({in, {}, {}});
        }
    }
    const auto same = [](const fs::path& path) {
        std::error_code error;
        const fs::path canonical = fs::weakly_canonical(path, error);
        return error ? path.lexically_normal().string() : canonical.string();
    };
    std::map<std::string, std::size_t> inputAt;
    for (std::size_t i = 0; i < items.size(); ++i) inputAt.emplace(same(items[i].in), i);
    std::map<std::string, std::size_t> claimedBy;
    for (std::size_t i = 0; i < items.size(); ++i) {
        Item& item = items[i];
        item.out = (dir / OutputName(item.in)).string();
        const std::string target = same(item.out);
        if (const auto other = inputAt.find(target); other != inputAt.end() && other->second != i &&
                                                     same(items[other->second].in) != same(item.in)) {
            item.skipped = "not converted: " + item.out + " is " + items[other->second].in + ", a file of this batch";
        } else if (const auto first = claimedBy.find(target); first != claimedBy.end()) {
            item.skipped = "not converted: " + item.out + " is written from " + items[first->second].in +
                           " in this batch";
        } else {
            claimedBy.emplace(target, i);
        }
    }
    return items;
}

}  // namespace

std::string OutputName(const std::string& in) {
    const fs::path path(in);
    if (Lower(path.extension().string()) == ".mid") return path.filename().string();
    return path.stem().string() + ".mid";
}

int ConvertBatch(const std::vector<std::string>& inputs, const std::string& dir, bool recursive, Reversals reversals,
                 CliSink& sink) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir, error)) {
        sink.Say(dir, "cannot make the folder: " + (error ? error.message() : std::string("a file has its name")));
        return kExitFailed;
    }
    const std::vector<Item> items = Plan(inputs, dir, recursive, sink);
    int status = kExitWritten;
    int written = 0;
    int withErrors = 0;
    int notWritten = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Item& item = items[i];
        sink.Progress("[" + std::to_string(i + 1) + "/" + std::to_string(items.size()) + "] " + item.in);
        int one = kExitFailed;
        if (!item.skipped.empty()) {
            sink.Say(item.in, item.skipped);
        } else {
            // Each file starts as it would in a program of its own.
            MidiTrackData::ResetReaderState();
            one = ConvertFile(item.in, item.out, reversals, sink);
            sink.About("");
        }
        status = Worse(status, one);
        ++(one == kExitWritten ? written : one == kExitWithErrors ? withErrors : notWritten);
    }
    sink.ClearProgress();
    sink.Say("", std::to_string(items.size()) + (items.size() == 1 ? " file: " : " files: ") + std::to_string(written) +
                     " written, " + std::to_string(withErrors) + " written with errors, " +
                     std::to_string(notWritten) + " not written");
    return status;
}

}  // namespace solvane::cli
