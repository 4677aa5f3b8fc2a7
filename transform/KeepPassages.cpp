// State changes of a reversed piece moved back in front of the passages they
// governed. After the mirror, a change that stood at the start of its passage
// stands at the passage's end; a kind's changes therefore each move to the
// place of the kind's previous one in the reversed list.

#include "transform/KeepPassages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace solvane {
namespace {

constexpr std::int32_t kChannels = 16;
constexpr std::int32_t kControllers = 128;
constexpr std::int32_t kNoKind = -1;
constexpr std::int32_t kSetting = -2;  // a parameter number or its data: to the front
constexpr std::int32_t kTempoKind = 0;
constexpr std::int32_t kFirstBendKind = 1 + kChannels * kControllers;

// The value a controller has after General MIDI System On, -1 where
// synthesizers differ (effect depths, sound controllers), so that no guess
// is written into the piece.
constexpr std::int32_t PowerOnValue(std::int32_t controller) {
    switch (controller) {
        case 7: return 100;  // volume
        case 8:              // balance
        case 10: return 64;  // pan
        case 11: return 127;  // expression
        case 0:              // bank select
        case 32:
        case 1:   // modulation
        case 2:   // breath
        case 4:   // foot
        case 5:   // portamento time
        case 64:  // the pedals and switches
        case 65:
        case 66:
        case 67:
        case 68:
        case 69: return 0;
        default: return -1;
    }
}

// Data entry, increment, decrement and the two parameter numbers: a
// setting is a sequence, which only makes sense kept in its order.
constexpr bool IsParameterSetting(std::int32_t controller) {
    return controller == 6 || controller == 38 || (controller >= 96 && controller <= 101);
}

std::int32_t KindOf(const MusicEvent& e) {
    if (e.type == kTypeMeta && e.subtype == kMetaTempo) return kTempoKind;
    if (e.channel < 0 || e.channel >= kChannels) return kNoKind;
    if (e.type == kTypePitchBend) return kFirstBendKind + e.channel;
    if (e.type != kTypeControl || e.subtype < 0 || e.subtype >= kControllers) return kNoKind;
    if (IsParameterSetting(e.subtype)) return kSetting;
    // Channel mode messages (sound off, reset, notes off, modes) act at
    // their moment; they keep the mirrored time.
    if (e.subtype >= 120) return kNoKind;
    return 1 + e.channel * kControllers + e.subtype;
}

// The state before a kind's first change, as an event like that change;
// false when it is not known.
bool StateBefore(const MusicEvent& change, MusicEvent& state) {
    state = change;
    if (change.type == kTypeMeta) {
        state.value = kPlayerStartTempo;
        return true;
    }
    if (change.type == kTypePitchBend) {
        state.key = 0;  // the centre, 0x2000
        state.value = 64;
        return true;
    }
    state.value = PowerOnValue(change.subtype);
    return state.value >= 0;
}

// At one time: the state at the front first (it governs nothing when the
// kind changes again at once), then the other moved changes, then the
// events that did not move.
enum Rank : std::int32_t { kFront = 0, kMoved = 1, kStayed = 2 };

struct Placed {
    std::int64_t time;
    Rank rank;
    std::int64_t order;   // the input's order among state changes, the list's among the others
    std::size_t source;   // a slot of the list, or past it one of the added states
};

}  // namespace

std::int64_t PlayGrid(std::int32_t division) {
    constexpr std::int32_t kPlayDivision = 96;
    return division > kPlayDivision && division % kPlayDivision == 0 ? division / kPlayDivision : 1;
}

bool KeepPassages(MidiTrackData& t, std::int64_t grid, std::int64_t first) {
    std::vector<MusicEvent>& events = t.events;
    const std::size_t n = events.size();
    if (n == 0 || !events.back().IsEndOfTrack()) return false;
    if (n == 1) return true;

    std::vector<std::int64_t> at(n);
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += events[i].delta;
        at[i] = sum;
    }
    const std::size_t body = n - 1;  // the End of Track is never moved
    const std::int64_t end = at[body - 1];
    // The list is the input back to front, and none of these events was
    // moved by the mirror's own shifts: the input's order is the reverse.
    const auto inputOrder = [body](std::size_t i) { return static_cast<std::int64_t>(body - 1 - i); };

    std::vector<Placed> placed;
    placed.reserve(n);
    std::vector<std::pair<std::int32_t, std::size_t>> changes;  // kind, slot
    for (std::size_t i = 0; i < body; ++i) {
        const std::int32_t kind = KindOf(events[i]);
        if (kind == kSetting) {
            placed.push_back({0, kFront, inputOrder(i), i});
        } else if (kind == kNoKind) {
            placed.push_back({at[i], kStayed, static_cast<std::int64_t>(i), i});
        } else {
            changes.emplace_back(kind, i);
        }
    }
    std::sort(changes.begin(), changes.end());

    std::vector<MusicEvent> added;
    for (std::size_t run = 0; run < changes.size();) {
        std::size_t next = run;
        while (next < changes.size() && changes[next].first == changes[run].first) ++next;
        // The changes at one time form a group; each group takes the time of
        // the group before it, the first the front.
        std::int64_t previous = 0;
        std::size_t group = run;
        while (group < next) {
            const std::int64_t time = at[changes[group].second];
            std::size_t k = group;
            for (; k < next && at[changes[k].second] == time; ++k) {
                const std::size_t i = changes[k].second;
                placed.push_back({previous, group == run ? kFront : kMoved, inputOrder(i), i});
            }
            if (k == next && time < end && n + added.size() < static_cast<std::size_t>(kTrackCapacity)) {
                // Where the input's first change was, the state it started from.
                MusicEvent state;
                const std::size_t first = changes[k - 1].second;
                if (StateBefore(events[first], state)) {
                    placed.push_back({time, kMoved, inputOrder(first), n + added.size()});
                    added.push_back(std::move(state));
                }
            }
            previous = time;
            group = k;
        }
        run = next;
    }

    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
        if (a.time != b.time) return a.time < b.time;
        if (a.rank != b.rank) return a.rank < b.rank;
        return a.order < b.order;
    });
    std::vector<MusicEvent> result;
    result.reserve(placed.size() + 1);
    std::int64_t time = 0;
    for (const Placed& p : placed) {
        MusicEvent& e = p.source < n ? events[p.source] : added[p.source - n];
        e.delta = static_cast<std::int32_t>(p.time - time);
        time = p.time;
        result.push_back(std::move(e));
    }
    // The piece ends when it ended: no change moves later than it stood.
    MusicEvent& last = events[body];
    last.delta = static_cast<std::int32_t>(at[body] - time);
    result.push_back(std::move(last));
    // The input's time u played at tick floor(u / grid); the mirror's time
    // end + first - u plays on the mirror of that tick for every u only when
    // end + first + late is one short of a multiple of grid.
    if (grid > 1 && first >= 0) {
        const std::int64_t late = ((grid - 1 - (end + first) % grid) % grid + grid) % grid;
        if (at[body] + late <= kLongestTime) result.front().delta += static_cast<std::int32_t>(late);
    }
    events = std::move(result);
    return true;
}

}  // namespace solvane
