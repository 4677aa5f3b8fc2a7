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
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <unistd.h>

#include "cli/CliSink.h"
#include "cli/ConvertCommand.h"
#include "cli/ExitStatus.h"
#include "cli/InfoCommand.h"
#include "cli/ProcessTuning.h"
#include "cli/StdinSpool.h"
#include "platform/MessageSink.h"
#if SOLVANE_CLI_WITH_SOUND
#include <QtGlobal>

#include "cli/RollCommand.h"
#include "platform/AudioRender.h"
#include "platform/FluidSynthOut.h"
#include "platform/MidiOutFactory.h"
#include "platform/SoundLibraryVersions.h"
#endif
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "song/Transformation.h"
#include "support/General.h"
#include "messages/MessageLanguage.h"
#include "support/Messages.h"

namespace {

using solvane::MidiF0Data;
using solvane::MidiFileLoader;
using solvane::cli::CliSink;
using solvane::cli::kExitFailed;
using solvane::cli::kExitNoSong;
using solvane::cli::kExitUsage;
using solvane::cli::kExitWithErrors;
using solvane::cli::kExitWritten;
using solvane::cli::ReversalFlag;
using solvane::cli::ReversalProblem;

constexpr const char* kUsage =
    "usage: solvane-cli convert [-H|--horizontal] [-V|--vertical] IN OUT\n"
    "       solvane-cli convert [-H] [-V] [--musical] [-r|--recursive] --out-dir DIR IN...\n"
    "       solvane-cli play [-H] [-V] [--musical] [--port NAME | --trace FILE | --wav FILE] [--soundfont FILE] IN\n"
    "       solvane-cli render [-H] [-V] [--musical] [--soundfont FILE] IN OUT.wav\n"
    "       solvane-cli roll [-H] [-V] [--musical] [--ghost] [--size WxH] IN OUT.png\n"
    "       solvane-cli ports\n"
    "       solvane-cli info [--json] IN...\n"
    "       solvane-cli --help | --version\n"
    "\n"
    "convert  loads IN (a Standard MIDI File, format 0 or 1), reverses it and\n"
    "         saves the result as the format-0 file OUT, as the dialog's Save does.\n"
    "         -H, --horizontal  play back to front (time mirror)\n"
    "         -V, --vertical    invert each channel's pitches (drums untouched)\n"
    "         --musical         with -H: tempo, pedals, bends and controllers move\n"
    "                           with the passage they governed, so each passage\n"
    "                           keeps its tempo and the piece its length (play,\n"
    "                           render and roll take it too)\n"
    "         With both, the time mirror comes first.\n"
    "         --out-dir DIR     convert every IN, in one run, into DIR under its\n"
    "                           own name (.mid for any other extension); a name\n"
    "                           taken twice is written once, the later file skipped.\n"
    "                           A folder as IN gives its .mid, .midi, .kar, .smf\n"
    "                           and .rmi files; with -r, its subfolders' too.\n"
    "                           Ends with a summary: written, written with\n"
    "                           errors, not written.\n"
    "play     loads IN and plays it, reversed as asked, until its end or Ctrl-C.\n"
    "         Without an option it plays on the default output: a synthesizer\n"
    "         port of the ALSA sequencer when one runs, else the built-in\n"
    "         synthesizer with the system's General MIDI soundfont.\n"
    "         --port NAME         an output as ports lists it: an ALSA sequencer port\n"
    "                             (CLIENT:PORT, or its name or part of it), built-in\n"
    "                             for the built-in synthesizer, or default\n"
    "         --trace FILE        every message with its time in microseconds\n"
    "         --wav FILE          the built-in synthesizer recorded to a WAV file as it\n"
    "                             plays, in real time (render makes the same at once)\n"
    "         --soundfont FILE    the built-in synthesizer's .sf2/.sf3 soundfont; else\n"
    "                             SOLVANE_SOUNDFONT, else the system's General MIDI one\n"
    "render   loads IN, reverses it as asked and renders it through the built-in\n"
    "         synthesizer into OUT, a .wav file (16-bit stereo, 44.1 kHz) or, where\n"
    "         FluidSynth offers it, .flac, as fast as the machine allows: the\n"
    "         messages of a play at the times of a play, then the sound's tail.\n"
    "         --soundfont FILE    as for play\n"
    "roll     loads IN, reverses it as asked and draws its piano roll into the\n"
    "         PNG picture OUT, as the window's preview draws it: time in seconds\n"
    "         as a play takes it, left to right, with bar lines; keys bottom to\n"
    "         top; a colour per channel, the drums as hits; velocity as brightness.\n"
    "         --size WxH          the picture's size in pixels (default 1280x720)\n"
    "         --ghost             the piece as loaded, faint, behind the result\n"
    "ports    lists the MIDI outputs by the names --port takes, and the one the\n"
    "         default output would use.\n"
    "info     loads each IN and tells what was loaded: format, tracks, division,\n"
    "         events, notes per channel and length in ticks; how long it plays\n"
    "         here (240 a minute until a tempo event) and on a standard player\n"
    "         (120 until one); its tempo events and track names.\n"
    "         --json            one JSON object a line for each IN\n"
    "--version  the version of this program and of the libraries it plays and draws with.\n"
    "\n"
    "IN may be - for standard input, and convert's OUT - for standard output.\n"
    "\n"
    "Reports go to stderr, one line each, naming the file they are about:\n"
    "  solvane-cli: FILE: Module 0xCODE: text\n"
    "in Japanese. Every command takes --lang en, which shows them in English\n"
    "(as does SOLVANE_LANG=en in the environment); --lang ja keeps Japanese\n"
    "whatever the environment says.\n"
    "\n"
    "Exit status (for several files, the worst of theirs: 1, 2, 3, then 0):\n"
    "  0   done, with no error reported\n"
    "  1   OUT could not be written, or the output could not be opened\n"
    "  2   nothing usable was loaded: nothing written or played\n"
    "  3   done, but an error was reported on the way, so the result may lack\n"
    "      or change content (the once-per-track warnings do not count)\n"
    "  64  usage error\n";

int Usage(const char* problem) {
    if (problem != nullptr) std::fprintf(stderr, "solvane-cli: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

#if SOLVANE_CLI_WITH_SOUND
// 0 when nothing went wrong since errorsBefore, else the status that says the
// result may lack or change content.
int DoneStatus(std::uint64_t errorsBefore) {
    return solvane::ErrorsReported() != errorsBefore ? kExitWithErrors : kExitWritten;
}

// Loads as the dialog's Load does for a chosen path: nothing when size is 0.
bool BuildLoaded(MidiFileLoader& loader) {
    if (loader.size == 0) return false;
    loader.BuildSong();
    return loader.song != nullptr;
}

std::atomic<bool> g_interrupted{false};
std::atomic<bool> g_finished{false};

void OnInterrupt(int) { g_interrupted = true; }

int OnPlayFinished() {
    g_finished = true;
    return 0;
}

// What play and render are told: the reversals, the soundfont, the files
// and, for play, the output.
struct SoundArgs {
    solvane::Reversals reversals;
    solvane::MidiOutChoice choice;
    std::string soundFont;
    std::vector<std::string> files;
};

// Reads play's (outputs true) or render's arguments; the usage problem, or empty.
std::string ReadSoundArgs(const std::vector<std::string>& args, bool outputs, SoundArgs& read) {
    bool outputGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool output = outputs && (arg == "--port" || arg == "--trace" || arg == "--wav");
        if (ReversalFlag(arg, read.reversals)) {
        } else if (output || arg == "--soundfont") {
            if (i + 1 >= args.size()) return arg + (output ? " needs a value" : " needs a file");
            const std::string& value = args[++i];
            if (arg == "--soundfont") {
                read.soundFont = value;
                continue;
            }
            if (outputGiven) return "choose one output only";
            outputGiven = true;
            if (arg == "--port") {
                read.choice = solvane::ChoiceOfOutputName(value);
            } else {
                read.choice.kind = arg == "--trace" ? solvane::MidiOutKind::kTrace : solvane::MidiOutKind::kWav;
                read.choice.target = value;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else {
            read.files.push_back(arg);
        }
    }
    return ReversalProblem(read.reversals);
}

// Loads IN ("-": standard input) as the window loads a file; null when
// nothing usable was loaded.
std::unique_ptr<MidiFileLoader> LoadIn(const std::string& in, CliSink& sink) {
    sink.About(in);
    std::optional<solvane::cli::StdinSpool> spool;
    auto loader = std::make_unique<MidiFileLoader>(in == "-" ? spool.emplace().path() : in);
    return BuildLoaded(*loader) ? std::move(loader) : nullptr;
}

int Play(const std::vector<std::string>& args, CliSink& sink) {
    SoundArgs read;
    if (const std::string problem = ReadSoundArgs(args, true, read); !problem.empty()) return Usage(problem.c_str());
    const std::vector<std::string>& files = read.files;
    solvane::MidiOutChoice& choice = read.choice;
    if (files.size() != 1) return Usage("play needs IN");
    choice.soundFont = read.soundFont;
    const std::uint64_t errorsBefore = solvane::ErrorsReported();
    solvane::MadeMidiOut made = solvane::MakeMidiOutDevice(choice);
    if (!made.device) {
        std::fprintf(stderr, "solvane-cli: %s\n", made.error.c_str());
        return kExitFailed;
    }
    const std::unique_ptr<MidiFileLoader> loader = LoadIn(files[0], sink);
    if (!loader) return kExitNoSong;
    solvane::InstallMidiOutDevice(made.device.get());
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    solvane::Play(*PlayableCopy(*loader->song, read.reversals), OnPlayFinished);
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

int Render(const std::vector<std::string>& args, CliSink& sink) {
    SoundArgs read;
    if (const std::string problem = ReadSoundArgs(args, false, read); !problem.empty()) return Usage(problem.c_str());
    const std::vector<std::string>& files = read.files;
    std::string& soundFont = read.soundFont;
    if (files.size() != 2) return Usage("render needs IN and OUT");
    if (!solvane::AudioFormatOf(files[1])) {
        std::string known;
        for (const std::string& extension : solvane::AudioExtensions()) known += " " + extension;
        return Usage(("render writes files ending in" + known).c_str());
    }
    if (soundFont.empty()) soundFont = solvane::FluidSynthOut::FindSoundFont();
    if (soundFont.empty()) {
        sink.Say({}, solvane::NoSoundFontProblem());
        return kExitFailed;
    }
    const std::uint64_t errorsBefore = solvane::ErrorsReported();
    const std::unique_ptr<MidiFileLoader> loader = LoadIn(files[0], sink);
    if (!loader) return kExitNoSong;
    const std::vector<solvane::TimedMessage> messages =
        solvane::WalkMessages(*PlayableCopy(*loader->song, read.reversals));
    const solvane::RenderResult result = solvane::RenderAudio(messages, soundFont, files[1]);
    if (result.status != solvane::RenderResult::Status::kDone) {
        sink.Say(files[1], result.error);
        return kExitFailed;
    }
    return DoneStatus(errorsBefore);
}

int Ports() {
    const std::string text = solvane::DescribeMidiOutputs(solvane::ListMidiOutputs());
    std::fputs(text.c_str(), stdout);
    return kExitWritten;
}

#else
// Playing needs the synthesizer and the ALSA libraries, dozens of them with
// their own dependencies, whose loading would cost every convert more than
// the conversion itself. So play, ports, render and roll (which needs Qt's
// painting) are done by a companion program built from this same source,
// which this process becomes.
// Returns only when the companion could not start, with why.
int ExecSoundTool(char** argv, std::string& tried) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path dir = error ? std::filesystem::path(".") : self.parent_path();
    const std::filesystem::path candidates[] = {dir / "solvane-cli-sound", dir / SOLVANE_SOUND_TOOL_FROM_BIN / "solvane-cli-sound"};
    int why = ENOENT;
    for (const std::filesystem::path& tool : candidates) {
        execv(tool.c_str(), argv);  // returns only when it could not start
        if (errno != ENOENT) why = errno;
    }
    tried = candidates[0].string();
    return why;
}

int RunSoundTool(char** argv) {
    std::string tried;
    const int why = ExecSoundTool(argv, tried);
    std::fprintf(stderr, "solvane-cli: cannot start %s: %s\n", tried.c_str(), std::strerror(why));
    return kExitFailed;
}
#endif

// The program's version, and the sound library's, which only the companion
// loads: this process becomes the companion to tell it.
int Version([[maybe_unused]] char** argv) {
#if SOLVANE_CLI_WITH_SOUND
    std::printf("solvane-cli %s\n", SOLVANE_VERSION);
    std::printf("FluidSynth %s (play, ports and render, in solvane-cli-sound)\n", solvane::FluidSynthVersion().c_str());
    std::printf("Qt %s (roll, in solvane-cli-sound)\n", qVersion());
#else
    std::fflush(stdout);
    std::string tried;
    const int why = ExecSoundTool(argv, tried);
    std::printf("solvane-cli %s\n", SOLVANE_VERSION);
    std::printf("FluidSynth: unknown, %s cannot start: %s\n", tried.c_str(), std::strerror(why));
#endif
    return kExitWritten;
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

int solvane::cli::UsageError(const std::string& problem) { return Usage(problem.c_str()); }

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
    } else if (command == "--version") {
        status = args.empty() ? Version(argv) : Usage("--version takes no arguments");
    } else if (command == "convert") {
        status = solvane::cli::ConvertCommand(args, sink);
#if SOLVANE_CLI_WITH_SOUND
    } else if (command == "play") {
        status = Play(args, sink);
    } else if (command == "ports") {
        status = args.empty() ? Ports() : Usage("ports takes no arguments");
    } else if (command == "render") {
        status = Render(args, sink);
    } else if (command == "roll") {
        status = solvane::cli::RollCommand(args, sink);
#else
    } else if (command == "play" || command == "ports" || command == "render" || command == "roll") {
        status = RunSoundTool(argv);
#endif
    } else if (command == "info") {
        status = solvane::cli::InfoCommand(args, sink);
    } else {
        status = Usage(("unknown command " + command).c_str());
    }
    solvane::InstallMessageSink(nullptr);
    return status;
}
