#include "tests/support/SongProbe.h"

#include <algorithm>
#include <deque>
#include <map>
#include <utility>

namespace solvane::test {

std::ostream& operator<<(std::ostream& out, const TimedEvent& e) {
    return out << "{t=" << e.time << " type=0x" << std::hex << e.type << std::dec << " ch=" << e.channel
               << " key=" << e.key << " vel=" << e.velocity << " sub=0x" << std::hex << e.subtype << std::dec
               << " value=" << e.value << " dur=" << e.duration << "}";
}

std::ostream& operator<<(std::ostream& out, const Note& n) {
    return out << "{ch=" << n.channel << " key=" << n.key << " start=" << n.start << " dur=" << n.duration << "}";
}

std::vector<TimedEvent> TimedEvents(const MidiTrackData& track) {
    std::vector<TimedEvent> out;
    std::int64_t time = 0;
    for (const MusicEvent& e : track.events) {
        time += e.delta;
        out.push_back({time, e.type, e.channel, e.key, e.velocity, e.subtype, e.value, e.duration});
    }
    return out;
}

std::ostream& operator<<(std::ostream& out, const Brief& b) {
    return out << "{t=" << b.time << " type=0x" << std::hex << b.type << std::dec << " ch=" << b.channel
               << " key=" << b.key << "}";
}

std::vector<Brief> Briefly(const MidiTrackData& track) {
    std::vector<Brief> out;
    for (const TimedEvent& e : TimedEvents(track)) out.push_back({e.time, e.type, e.channel, e.key});
    return out;
}

std::vector<Note> Notes(const MidiTrackData& track) {
    std::vector<Note> notes;
    // Open note-ons per channel and key, oldest first, as indices into notes.
    std::map<std::pair<std::int32_t, std::int32_t>, std::deque<std::size_t>> open;
    std::int64_t time = 0;
    for (const MusicEvent& e : track.events) {
        time += e.delta;
        const auto id = std::make_pair(e.channel, e.key);
        if (e.type == kTypeNote) {
            notes.push_back({e.channel, e.key, time, e.duration});
        } else if (e.type == kTypeNoteOn && e.velocity > 0) {
            open[id].push_back(notes.size());
            notes.push_back({e.channel, e.key, time, -1});
        } else if (e.type == kTypeNoteOff || e.type == kTypeNoteOn) {
            auto found = open.find(id);
            if (found == open.end() || found->second.empty()) continue;
            Note& note = notes[found->second.front()];
            note.duration = time - note.start;
            found->second.pop_front();
        }
    }
    // Notes that never ended, or ended at once, do not sound.
    std::erase_if(notes, [](const Note& n) { return n.duration <= 0; });
    std::sort(notes.begin(), notes.end());
    return notes;
}

std::unique_ptr<MidiF0Data> SongOf(std::int32_t state, std::vector<MusicEvent> events, std::int32_t division) {
    auto song = std::make_unique<MidiF0Data>(state);
    song->division = division;
    song->track->events = std::move(events);
    return song;
}

std::unique_ptr<MidiFileLoader> LoadAsTheDialogDoes(const std::string& path) {
    auto loader = std::make_unique<MidiFileLoader>(path);
    if (loader->size != 0) loader->BuildSong();
    return loader;
}

Bytes SaveAsBytes(const MidiF0Data& loaded, bool horizontal, bool vertical) {
    MidiF0Data copy(loaded);
    copy.ToEventForm();
    if (horizontal) copy.ReverseHorizontal();
    if (vertical) copy.ReverseVertical();
    copy.WriteSmf();
    if (!copy.HoldsWrittenFile()) return {};
    return Bytes(copy.Bytes(), copy.Bytes() + copy.size);
}

}  // namespace solvane::test
