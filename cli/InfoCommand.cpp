#include "cli/InfoCommand.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "cli/CliSink.h"
#include "cli/ExitStatus.h"
#include "cli/SongFacts.h"
#include "cli/StdinSpool.h"
#include "track/MidiTrackData.h"

namespace solvane::cli {
namespace {

// Whether text is well-formed UTF-8.
bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t more = lead < 0x80 ? 0 : lead < 0xC2 ? 4 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF5 ? 3 : 4;
        if (more == 4 || i + more >= text.size()) return false;
        for (std::size_t k = 1; k <= more; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += more + 1;
    }
    return true;
}

// A track name as UTF-8: kept when it is UTF-8 already, else read as
// Latin-1, the one reading under which every byte is a character.
std::string AsUtf8(std::string_view bytes) {
    if (IsUtf8(bytes)) return std::string(bytes);
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

// On one line: control characters become spaces.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return text;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A number with at most `decimals` decimals, without trailing zeros.
std::string Decimal(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string out = text;
    if (out.find('.') != std::string::npos) {
        out.erase(out.find_last_not_of('0') + 1);
        if (out.back() == '.') out.pop_back();
    }
    return out;
}

std::string Bpm(const TempoChange& tempo) { return Decimal(60e6 / tempo.microseconds, 2); }

std::string Seconds(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

void PrintText(const SongFacts& f) {
    std::printf("format: %d\n", f.format);
    std::printf("tracks: %d\n", f.tracks);
    std::printf("division: %d\n", f.division);
    std::printf("events: %d\n", f.events);
    int total = 0;
    for (const auto& [channel, n] : f.notesPerChannel) total += n;
    std::printf("notes: %d\n", total);
    for (const auto& [channel, n] : f.notesPerChannel) std::printf("  channel %d: %d\n", channel + 1, n);
    std::printf("length: %lld ticks\n", static_cast<long long>(f.lengthTicks));
    if (f.played) {
        std::printf("duration: %s s as played here (240 a minute until a tempo event)\n",
                    Seconds(static_cast<double>(f.played->count()) / 1000).c_str());
    } else {
        std::printf("duration: none as played here (its first tempo is too fast for the player's timer)\n");
    }
    if (f.standardSeconds) {
        std::printf("duration at 120: %s s as a standard player plays it\n", Seconds(*f.standardSeconds).c_str());
    } else {
        std::printf("duration at 120: none (the division gives no time)\n");
    }
    std::printf("tempo events: %zu\n", f.tempos.size());
    for (const TempoChange& t : f.tempos) {
        std::printf("  tick %lld: %d us a quarter (%s a minute)\n", static_cast<long long>(t.tick), t.microseconds,
                    Bpm(t).c_str());
    }
    std::printf("track names: %zu\n", f.trackNames.size());
    for (const TrackName& n : f.trackNames) std::printf("  track %d: %s\n", n.track, OneLine(AsUtf8(n.text)).c_str());
}

void PrintJson(const std::string& file, const std::optional<SongFacts>& facts) {
    std::string out = "{\"file\": " + JsonString(AsUtf8(file)) + ", \"loaded\": " + (facts ? "true" : "false");
    if (facts) {
        const SongFacts& f = *facts;
        int total = 0;
        std::string perChannel;
        for (const auto& [channel, n] : f.notesPerChannel) {
            total += n;
            perChannel += (perChannel.empty() ? "\"" : ", \"") + std::to_string(channel + 1) + "\": " + std::to_string(n);
        }
        out += ", \"format\": " + std::to_string(f.format) + ", \"tracks\": " + std::to_string(f.tracks) +
               ", \"division\": " + std::to_string(f.division) + ", \"events\": " + std::to_string(f.events) +
               ", \"notes\": " + std::to_string(total) + ", \"notes_per_channel\": {" + perChannel + "}" +
               ", \"length_ticks\": " + std::to_string(f.lengthTicks);
        out += ", \"seconds_played\": " + (f.played ? Seconds(static_cast<double>(f.played->count()) / 1000) : "null");
        out += ", \"seconds_at_120\": " + (f.standardSeconds ? Seconds(*f.standardSeconds) : "null");
        out += ", \"tempo_events\": [";
        for (std::size_t i = 0; i < f.tempos.size(); ++i) {
            const TempoChange& t = f.tempos[i];
            out += (i == 0 ? "{" : ", {") + std::string("\"tick\": ") + std::to_string(t.tick) +
                   ", \"microseconds\": " + std::to_string(t.microseconds) + ", \"bpm\": " + Bpm(t) + "}";
        }
        out += "], \"track_names\": [";
        for (std::size_t i = 0; i < f.trackNames.size(); ++i) {
            const TrackName& n = f.trackNames[i];
            out += (i == 0 ? "{" : ", {") + std::string("\"track\": ") + std::to_string(n.track) +
                   ", \"name\": " + JsonString(AsUtf8(n.text)) + "}";
        }
        out += "]";
    }
    out += "}\n";
    std::fputs(out.c_str(), stdout);
}

}  // namespace

int InfoCommand(const std::vector<std::string>& args, CliSink& sink) {
    bool json = false;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return UsageError("unknown option " + arg);
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) return UsageError("info needs IN");
    if (std::count(files.begin(), files.end(), "-") > 1) return UsageError("standard input (-) can be read once only");
    int status = kExitWritten;
    bool first = true;
    for (const std::string& file : files) {
        // Each file as a program of its own would read it.
        MidiTrackData::ResetReaderState();
        sink.About(file);
        std::optional<StdinSpool> spool;
        const std::string& path = file == "-" ? spool.emplace().path() : file;
        bool loadErrors = false;
        const std::optional<SongFacts> facts = DescribeFile(path, loadErrors);
        if (json) {
            PrintJson(file, facts);
        } else if (facts) {
            if (files.size() > 1) std::printf("%sfile: %s\n", first ? "" : "\n", ShownFileName(file).c_str());
            PrintText(*facts);
            first = false;
        }
        std::fflush(stdout);
        status = Worse(status, !facts ? kExitNoSong : loadErrors ? kExitWithErrors : kExitWritten);
    }
    sink.About("");
    return status;
}

}  // namespace solvane::cli
