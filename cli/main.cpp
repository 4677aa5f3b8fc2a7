// solvane-cli: the dialog's Load, Save and Play steps from the command line.
// Every report is one line on stderr; nothing here asks questions.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <unistd.h>

#include "cli/ProcessTuning.h"
#include "platform/MessageSink.h"
#if SOLVANE_CLI_WITH_SOUND
#include "platform/MidiOutFactory.h"
#endif
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "support/General.h"
#include "messages/MessageLanguage.h"
#include "support/Messages.h"

namespace {

using solvane::MidiF0Data;
using solvane::MidiFileLoader;
using solvane::Module;
using solvane::ModuleName;

constexpr int kExitWritten = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNoSong = 2;
constexpr int kExitWithErrors = 3;
constexpr int kExitUsage = 64;

constexpr const char* kUsage =
    "usage: solvane-cli convert [-H|--horizontal] [-V|--vertical] IN OUT\n"
    "       solvane-cli play [-H] [-V] [--port CLIENT:PORT | --trace FILE | --wav FILE] IN\n"
    "       solvane-cli ports\n"
    "       solvane-cli info IN\n"
    "       solvane-cli --help\n"
    "\n"
    "convert  loads IN (a Standard MIDI File, format 0 or 1), reverses it and\n"
    "         saves the result as the format-0 file OUT, as the dialog's Save does.\n"
    "         -H, --horizontal  play back to front (time mirror)\n"
    "         -V, --vertical    invert each channel's pitches (drums untouched)\n"
    "         With both, the time mirror comes first.\n"
    "play     loads IN and plays it, reversed as asked, until its end or Ctrl-C.\n"
    "         Without an option it plays on the default output: a synthesizer\n"
    "         port of the ALSA sequencer when one runs, else the built-in\n"
    "         synthesizer with the system's General MIDI soundfont.\n"
    "         --port CLIENT:PORT  an ALSA sequencer port (number or part of its name)\n"
    "         --trace FILE        every message with its time in microseconds\n"
    "         --wav FILE          the built-in synthesizer, recorded to a WAV file\n"
    "ports    lists the MIDI outputs and the one the default output would use.\n"
    "info     loads IN and tells what was loaded: format, tracks, division,\n"
    "         events, notes per channel and length in ticks.\n"
    "\n"
    "Reports go to stderr, one line each, in Japanese. Every command takes\n"
    "--lang en, which shows them in English (as does SOLVANE_LANG=en in the\n"
    "environment); --lang ja keeps Japanese whatever the environment says.\n"
    "\n"
    "Exit status:\n"
    "  0   done, with no error reported\n"
    "  1   OUT could not be written, or the output could not be opened\n"
    "  2   nothing usable was loaded: nothing written or played\n"
    "  3   done, but an error was reported on the way, so the result may lack\n"
    "      or change content (the once-per-track warnings do not count)\n"
    "  64  usage error\n";

// Prints each report as one line, in the language asked for, and remembers
// which codes were shown.
class CliSink : public solvane::MessageSink {
public:
    void Show(std::string_view module, std::uint32_t code, std::string_view text) override {
        const std::string_view shown = solvane::LocalizedMessage(language, module, code, text);
        const std::string line = "solvane-cli: " + solvane::FormatReport(module, code, shown) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
        if (module == ModuleName(Module::kGeneral) && code == solvane::kGeneralCannotOpen) ++cannotOpen;
        if (module == ModuleName(Module::kMidiControler) && code == solvane::kControlerOpenFailed) ++outputFailed;
    }
    std::atomic<int> cannotOpen{0};
    std::atomic<int> outputFailed{0};
    solvane::Language language = solvane::Language::kJapanese;
};

int Usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "solvane-cli: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// 0 when nothing went wrong since errorsBefore, else the status that says the
// result may lack or change content.
int DoneStatus(std::uint64_t errorsBefore) {
    return solvane::ErrorsReported() != errorsBefore ? kExitWithErrors : kExitWritten;
}

// -H, -V and both at once; false for any other argument.
bool ReversalFlag(const std::string& arg, bool& horizontal, bool& vertical) {
    const bool both = arg == "-HV" || arg == "-VH";
    horizontal = horizontal || both || arg == "-H" || arg == "--horizontal";
    vertical = vertical || both || arg == "-V" || arg == "--vertical";
    return both || arg == "-H" || arg == "--horizontal" || arg == "-V" || arg == "--vertical";
}

// Loads as the dialog's Load does for a chosen path: nothing when size is 0.
bool BuildLoaded(MidiFileLoader& loader) {
    if (loader.size == 0) return false;
    loader.BuildSong();
    return loader.song != nullptr;
}

int Convert(const std::vector<std::string>& args, CliSink& sink) {
    bool horizontal = false;
    bool vertical = false;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (ReversalFlag(arg, horizontal, vertical)) {
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 2) return Usage("convert needs IN and OUT");
    const std::uint64_t errorsBefore = solvane::ErrorsReported();
    MidiFileLoader loader(files[0], MidiFileLoader::AndBuildSong{});
    if (loader.size == 0 || !loader.song) return kExitNoSong;
    // The window's Save: event form, time mirror, then pitch inversion. The
    // window works on a copy, as its loaded piece stays; here nothing else
    // needs the piece, so it is converted itself, without a copy of every event.
    MidiF0Data& song = *loader.song;
    song.ToEventForm();
    if (horizontal) song.ReverseHorizontal();
    if (vertical) song.ReverseVertical();
    song.WriteSmf();
    // The writer has said why when there was no complete track to write:
    // nothing usable was loaded, and OUT is left as it was.
    if (!song.HoldsWrittenFile()) return kExitNoSong;
    const int before = sink.cannotOpen.load();
    solvane::WriteWholeFile(files[1], song.Bytes(), song.size);
    return sink.cannotOpen == before ? DoneStatus(errorsBefore) : kExitFailed;
}

#if SOLVANE_CLI_WITH_SOUND
std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_finished{false};

void OnInterrupt(int) { g_interrupted = true; }

int OnPlayFinished() {
    g_finished = true;
    return 0;
}

int Play(const std::vector<std::string>& args, CliSink& sink) {
    bool horizontal = false;
    bool vertical = false;
    solvane::MidiOutChoice choice;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (ReversalFlag(arg, horizontal, vertical)) {
        } else if (arg == "--port" || arg == "--trace" || arg == "--wav") {
            if (i + 1 >= args.size()) return Usage((arg + " needs a value").c_str());
            if (choice.kind != solvane::MidiOutKind::kDefault) return Usage("choose one output only");
            choice.kind = arg == "--port"    ? solvane::MidiOutKind::kPort
                          : arg == "--trace" ? solvane::MidiOutKind::kTrace
                                             : solvane::MidiOutKind::kWav;
            choice.target = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            files.push_back(arg);
        }
    }
    if (files.size() != 1) return Usage("play needs IN");
    const std::uint64_t errorsBefore = solvane::ErrorsReported();
    solvane::MadeMidiOut made = solvane::MakeMidiOutDevice(choice);
    if (!made.device) {
        std::fprintf(stderr, "solvane-cli: %s\n", made.error.c_str());
        return kExitFailed;
    }
    MidiFileLoader loader(files[0]);
    if (!BuildLoaded(loader)) return kExitNoSong;
    solvane::InstallMidiOutDevice(made.device.get());
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    {
        // The window's Play: a copy, event form, the reversals, note form, then Play.
        MidiF0Data copy(*loader.song);
        copy.ToEventForm();
        if (horizontal) copy.ReverseHorizontal();
        if (vertical) copy.ReverseVertical();
        copy.ToNoteForm();
        solvane::Play(copy, OnPlayFinished);
    }
    while (!g_finished && !g_interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (g_interrupted && !g_finished) solvane::Stop();
    // The worker resets and closes the output after telling of the end.
    for (int i = 0; i < 300 && solvane::musicPlayer.idle == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    solvane::musicPlayer.Shutdown();
    solvane::InstallMidiOutDevice(nullptr);
    return sink.outputFailed > 0 ? kExitFailed : DoneStatus(errorsBefore);
}

int Ports() {
    const std::string text = solvane::DescribeMidiOutputs(solvane::ListMidiOutputs());
    std::fputs(text.c_str(), stdout);
    return kExitWritten;
}

#else
// Playing needs the synthesizer and the ALSA libraries, dozens of them with
// their own dependencies, whose loading would cost every convert more than
// the conversion itself. So play and ports are done by a companion program
// built from this same source, which this process becomes.
int RunSoundTool(char** argv) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path dir = error ? std::filesystem::path(".") : self.parent_path();
    const std::filesystem::path candidates[] = {dir / "solvane-cli-sound", dir / SOLVANE_SOUND_TOOL_FROM_BIN / "solvane-cli-sound"};
    int why = ENOENT;
    for (const std::filesystem::path& tool : candidates) {
        execv(tool.c_str(), argv);  // returns only when it could not start
        if (errno != ENOENT) why = errno;
    }
    std::fprintf(stderr, "solvane-cli: cannot start %s: %s\n", candidates[0].c_str(), std::strerror(why));
    return kExitFailed;
}
#endif

int Info(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("info needs IN");
    const std::uint64_t errorsBefore = solvane::ErrorsReported();
    MidiFileLoader loader(args[0]);
    if (loader.size == 0) return kExitNoSong;
    const int format = loader.raw.empty() ? -1 : MidiF0Data::DetectFormat(loader.raw.data(), loader.size);
    const int tracks = loader.reader ? loader.reader->trackCount : 0;
    if (!BuildLoaded(loader)) return kExitNoSong;
    const MidiF0Data& song = *loader.song;
    std::map<int, int> notes;
    std::int64_t time = 0;
    std::int64_t length = 0;
    for (const solvane::MusicEvent& event : song.track->events) {
        time += event.delta;
        std::int64_t end = time;
        if (event.type == solvane::kTypeNote) {
            ++notes[event.channel];
            end += event.duration;
        }
        if (end > length) length = end;
    }
    std::printf("format: %d\n", format);
    std::printf("tracks: %d\n", format == 0 ? 1 : tracks);
    std::printf("division: %d\n", song.division);
    std::printf("events: %d\n", song.track->count());
    int total = 0;
    for (const auto& [channel, n] : notes) total += n;
    std::printf("notes: %d\n", total);
    for (const auto& [channel, n] : notes) std::printf("  channel %d: %d\n", channel + 1, n);
    std::printf("length: %lld ticks\n", static_cast<long long>(length));
    return DoneStatus(errorsBefore);
}

// Takes --lang LANG and --lang=LANG out of the arguments, wherever they
// stand, after SOLVANE_LANG; nullptr, or what is wrong with the command line.
const char* TakeLanguage(std::vector<std::string>& args, solvane::Language& language) {
    if (const char* fromEnvironment = std::getenv("SOLVANE_LANG"); fromEnvironment != nullptr) {
        // Any other value is a locale's business, not ours: Japanese stays.
        solvane::ParseLanguage(fromEnvironment, language);
    }
    for (auto arg = args.begin(); arg != args.end();) {
        std::string value;
        if (*arg == "--lang") {
            if (arg + 1 == args.end()) return "--lang needs ja or en";
            value = arg[1];
            arg = args.erase(arg, arg + 2);
        } else if (arg->rfind("--lang=", 0) == 0) {
            value = arg->substr(7);
            arg = args.erase(arg);
        } else {
            ++arg;
            continue;
        }
        if (!solvane::ParseLanguage(value, language)) return "--lang takes ja or en";
    }
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    solvane::TuneProcess();
    CliSink sink;
    solvane::InstallMessageSink(&sink);
    std::vector<std::string> all(argv + 1, argv + argc);
    if (const char* problem = TakeLanguage(all, sink.language); problem != nullptr) return Usage(problem);
    if (all.empty()) return Usage("no command given");
    const std::string command = all.front();
    const std::vector<std::string> args(all.begin() + 1, all.end());
    int status = kExitUsage;
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kUsage, stdout);
        status = kExitWritten;
    } else if (command == "convert") {
        status = Convert(args, sink);
#if SOLVANE_CLI_WITH_SOUND
    } else if (command == "play") {
        status = Play(args, sink);
    } else if (command == "ports") {
        status = args.empty() ? Ports() : Usage("ports takes no arguments");
#else
    } else if (command == "play" || command == "ports") {
        status = RunSoundTool(argv);
#endif
    } else if (command == "info") {
        status = Info(args);
    } else {
        status = Usage(("unknown command " + command).c_str());
    }
    solvane::InstallMessageSink(nullptr);
    return status;
}
