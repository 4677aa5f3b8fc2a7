#include "cli/RollCommand.h"

#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QString>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "cli/CliSink.h"
#include "cli/ConvertCommand.h"
#include "cli/ExitStatus.h"
#include "cli/StdinSpool.h"
#include "roll/RollLayout.h"
#include "roll/RollPicture.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "song/Transformation.h"
#include "support/Messages.h"

namespace solvane::cli {
namespace {

constexpr int kDefaultWidth = 1280;
constexpr int kDefaultHeight = 720;
constexpr int kSmallest = 64;
constexpr int kLargest = 8192;

// "WxH", each side within the limits; false for anything else.
bool ParseSize(const std::string& text, int& width, int& height) {
    const char* const end = text.data() + text.size();
    const auto [afterWidth, widthError] = std::from_chars(text.data(), end, width);
    if (widthError != std::errc() || afterWidth == end || (*afterWidth != 'x' && *afterWidth != 'X')) return false;
    const auto [afterHeight, heightError] = std::from_chars(afterWidth + 1, end, height);
    if (heightError != std::errc() || afterHeight != end) return false;
    return width >= kSmallest && width <= kLargest && height >= kSmallest && height <= kLargest;
}

bool EndsWithPng(const std::string& path) {
    if (path.size() < 5) return false;
    std::string end = path.substr(path.size() - 4);
    for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return end == ".png";
}

// Qt's own notes (no runtime folder, fonts) are no report of ours: every
// line on stderr names a file.
void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int RollCommand(const std::vector<std::string>& args, CliSink& sink) {
    Reversals reversals;
    bool ghost = false;
    int width = kDefaultWidth;
    int height = kDefaultHeight;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (ReversalFlag(arg, reversals)) {
        } else if (arg == "--ghost") {
            ghost = true;
        } else if (arg == "--size" || arg.rfind("--size=", 0) == 0) {
            std::string value;
            if (arg == "--size") {
                if (i + 1 >= args.size()) return UsageError("--size needs WxH");
                value = args[++i];
            } else {
                value = arg.substr(7);
            }
            if (!ParseSize(value, width, height)) {
                return UsageError("--size takes WxH, each from " + std::to_string(kSmallest) + " to " +
                                  std::to_string(kLargest) + ", not " + value);
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (const std::string problem = ReversalProblem(reversals); !problem.empty()) return UsageError(problem);
    if (files.size() != 2) return UsageError("roll needs IN and OUT.png");
    if (!EndsWithPng(files[1])) return UsageError("roll writes .png files, not " + files[1]);

    const std::uint64_t errorsBefore = ErrorsReported();
    sink.About(files[0]);
    std::optional<StdinSpool> spool;
    MidiFileLoader loader(files[0] == "-" ? spool.emplace().path() : files[0], MidiFileLoader::AndBuildSong{});
    // A file that gave not one event (not a MIDI file at all) has nothing to draw.
    if (loader.size == 0 || !loader.song || !loader.song->track || loader.song->track->count() == 0) return kExitNoSong;
    const RollLayout shown = LayOutRoll(*PlayableCopy(*loader.song, reversals));
    std::optional<RollLayout> plain;
    if (ghost) plain = LayOutRoll(*PlayableCopy(*loader.song, {}));

    // The picture never needs a screen; a missing display must not stop it.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(Quiet);
    static int qtArgc = 1;
    static char name[] = "solvane-cli";
    static char* qtArgv[] = {name, nullptr};
    const QGuiApplication application(qtArgc, qtArgv);
    const QImage image = DrawRoll(QSize(width, height), shown, plain ? &*plain : nullptr);

    // Written beside OUT under a name of its own, so that OUT is never half a picture.
    const std::string& out = files[1];
    const std::string part = out + ".part-" + std::to_string(getpid());
    if (!image.save(QString::fromLocal8Bit(part.c_str()), "PNG") || std::rename(part.c_str(), out.c_str()) != 0) {
        std::remove(part.c_str());
        sink.Say(out, "cannot write " + out);
        return kExitFailed;
    }
    return ErrorsReported() != errorsBefore ? kExitWithErrors : kExitWritten;
}

}  // namespace solvane::cli
