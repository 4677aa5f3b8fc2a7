#include "tests/support/PlayedNotes.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

#include "playback/MidiPlayer.h"
#include "song/MidiF0Data.h"

namespace solvane::test {
namespace {

constexpr std::int32_t kPlayDivision = 96;

// The player's tempo for a tempo event: whole quarter notes a minute, 60
// where it refuses the event.
std::int32_t PlayedBpm(std::int32_t microseconds) {
    if (microseconds / 1000 == 0) return 60;
    const std::int32_t bpm = TempoToBpm(microseconds);
    return bpm < 30 ? 60 : bpm;
}

// General MIDI System On, and the two makers' resets that synthesizers take as it.
bool IsSystemReset(const std::vector<std::uint8_t>& bytes) {
    static const std::vector<std::vector<std::uint8_t>> kResets = {
        {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
        {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
        {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
    };
    return std::find(kResets.begin(), kResets.end(), bytes) != kResets.end();
}

void Apply(ChannelState& state, std::uint32_t status, std::uint32_t first, std::uint32_t second) {
    if ((status & 0xF0) == 0xE0) {
        state.bend = static_cast<std::int32_t>(second * 128 + first);
        return;
    }
    if ((status & 0xF0) != 0xB0) return;
    const auto value = static_cast<std::int32_t>(second);
    switch (first) {
        case 7: state.volume = value; break;
        case 11: state.expression = value; break;
        case 64: state.sustain = value; break;
        case 66: state.sostenuto = value; break;
        case 67: state.soft = value; break;
        case 121:  // reset all controllers: what it resets of these
            state.sustain = state.sostenuto = state.soft = 0;
            state.bend = 0x2000;
            state.expression = 127;
            break;
        default: break;
    }
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const ChannelState& s) {
    return out << "ped " << s.sustain << "/" << s.sostenuto << "/" << s.soft << " bend " << s.bend << " vol "
               << s.volume << "/" << s.expression;
}

std::ostream& operator<<(std::ostream& out, const PlayedNote& n) {
    return out << "c" << n.channel << " k" << n.key << " v" << n.velocity << " at " << n.start << " for " << n.length
               << " [" << n.atStart << "] -> [" << n.atEnd << "]";
}

Played PlayedOf(const std::vector<TimedMessage>& messages) {
    Played played;
    ChannelState state[16];
    // The notes sounding on each channel and key, latest on top.
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<std::size_t>> sounding;
    std::vector<std::pair<std::int64_t, std::int64_t>> times;  // start and end of each note
    for (std::size_t i = 0; i < messages.size();) {
        // One moment of the walk: every message it sent at one time.
        const std::int64_t now = messages[i].microseconds;
        std::size_t end = i;
        while (end < messages.size() && messages[end].microseconds == now) ++end;
        ChannelState before[16];
        std::copy(std::begin(state), std::end(state), std::begin(before));
        std::vector<std::size_t> started;
        for (std::size_t k = i; k < end; ++k) {
            const TimedMessage& m = messages[k];
            if (m.kind == TimedMessage::Kind::kLong) {
                if (IsSystemReset(m.bytes)) std::fill(std::begin(state), std::end(state), ChannelState{});
                continue;
            }
            if (m.kind != TimedMessage::Kind::kShort) continue;
            const std::uint32_t status = m.packed & 0xFF;
            const std::uint32_t first = (m.packed >> 8) & 0xFF;
            const std::uint32_t second = (m.packed >> 16) & 0xFF;
            const std::uint32_t channel = status & 0x0F;
            const bool on = (status & 0xF0) == 0x90 && second > 0;
            const bool off = (status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && second == 0);
            std::vector<std::size_t>& stack = sounding[{channel, first}];
            if (on) {
                for (const std::size_t other : stack) played.notes[other].overlapped = true;
                PlayedNote note;
                note.channel = static_cast<std::int32_t>(channel);
                note.key = static_cast<std::int32_t>(first);
                note.velocity = static_cast<std::int32_t>(second);
                note.overlapped = !stack.empty();
                stack.push_back(played.notes.size());
                started.push_back(played.notes.size());
                played.notes.push_back(note);
                times.emplace_back(now, now);
            } else if (off) {
                if (stack.empty()) continue;
                const std::size_t n = stack.back();
                stack.pop_back();
                times[n].second = now;
                played.notes[n].atEnd = before[channel];
            } else {
                if ((status & 0xF0) == 0xB0 && first == 121 && !played.notes.empty()) {
                    played.resetChannels.insert(static_cast<std::int32_t>(channel));
                }
                Apply(state[channel], status, first, second);
            }
        }
        for (const std::size_t n : started) played.notes[n].atStart = state[played.notes[n].channel];
        i = end;
    }
    if (played.notes.empty()) return played;
    // Notes still sounding when the walk ended stop at its last moment.
    const std::int64_t last = messages.back().microseconds;
    for (const auto& [key, stack] : sounding) {
        for (const std::size_t n : stack) {
            times[n].second = last;
            played.notes[n].atEnd = state[key.first];
        }
    }
    const std::int64_t first = times.front().first;
    std::int64_t latest = first;
    for (std::size_t n = 0; n < played.notes.size(); ++n) {
        played.notes[n].start = times[n].first - first;
        played.notes[n].length = times[n].second - times[n].first;
        latest = std::max(latest, times[n].second);
    }
    played.span = latest - first;
    std::stable_sort(played.notes.begin(), played.notes.end(), [](const PlayedNote& a, const PlayedNote& b) {
        return std::tie(a.start, a.channel, a.key) < std::tie(b.start, b.channel, b.key);
    });
    return played;
}

Played PlayedOf(const MidiF0Data& song) { return PlayedOf(WalkMessages(song)); }

std::int64_t SlowestTick(const MidiF0Data& song) {
    std::int32_t slowest = 240;  // the player's until a tempo event
    for (const MusicEvent& e : song.track->events) {
        if (e.type == kTypeMeta && e.subtype == kMetaTempo) slowest = std::min(slowest, PlayedBpm(e.value));
    }
    return 60'000'000 / (std::int64_t{kPlayDivision} * slowest);
}

}  // namespace solvane::test
