#include "roll/RollLayout.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <utility>

#include "platform/VirtualTimer.h"
#include "platform/VirtualWalk.h"
#include "playback/MusicPlayer.h"
#include "song/MidiF0Data.h"
#include "track/MusicEvent.h"

namespace solvane {
namespace {

constexpr int kChannels = 16;
constexpr int kKeys = 128;
// A time signature of 1/128 in a long piece would give millions of lines
// nobody could tell apart.
constexpr std::size_t kMostBars = 20000;
constexpr int kFewestKeysShown = 24;

// Notes, as each timer event fires, how many events the sequencer has sent
// so far: whatever that event sends goes out at that moment.
class NotingClock : public VirtualTimer {
public:
    explicit NotingClock(const std::atomic<std::int32_t>& sent) : sent_(sent) {}

    std::uint32_t SetEventAt(Clock::time_point due, std::uint32_t resolution, Callback callback) override {
        return VirtualTimer::SetEventAt(
            due, resolution, [this, callback = std::move(callback)](std::uint32_t id, Clock::time_point when) {
                marks.emplace_back(std::chrono::duration_cast<std::chrono::microseconds>(Elapsed()).count(),
                                   sent_.load(std::memory_order_relaxed));
                callback(id, when);
            });
    }

    std::vector<std::pair<std::int64_t, std::int32_t>> marks;  // microseconds, events sent before

private:
    const std::atomic<std::int32_t>& sent_;
};

struct BarRule {
    std::int64_t tick = 0;
    std::int64_t length = 0;
};

// A bar's length in ticks from a time signature's numerator and the power of
// two of its denominator; 0 for one that says nothing usable.
std::int64_t BarTicks(std::int32_t division, std::uint8_t numerator, std::uint8_t power) {
    if (numerator == 0 || power > 7 || division <= 0) return 0;
    const std::int64_t ticks = std::int64_t{division} * 4 * numerator >> power;
    return ticks > 0 ? ticks : 0;
}

// The time at tick, between the events the walk timed; ticks and times run
// side by side and grow together. Between two timed events the tempo does
// not change (a change is an event), so the time runs evenly there.
std::int64_t TimeAtTick(const std::vector<std::pair<std::int64_t, std::int64_t>>& timed, std::int64_t tick) {
    auto after = std::upper_bound(timed.begin(), timed.end(), tick,
                                  [](std::int64_t t, const auto& point) { return t < point.first; });
    if (after == timed.begin()) return timed.front().second;
    const auto& a = *std::prev(after);
    if (after == timed.end() || a.first == tick) return a.second;
    const auto& b = *after;
    // In long double: a piece that plays for days overflows the product in 64 bits.
    const long double share = static_cast<long double>(tick - a.first) / static_cast<long double>(b.first - a.first);
    return a.second + static_cast<std::int64_t>(share * static_cast<long double>(b.second - a.second));
}

void AddBars(RollLayout& layout, const std::vector<BarRule>& rules,
             const std::vector<std::pair<std::int64_t, std::int64_t>>& timed) {
    if (timed.empty()) return;
    const std::int64_t last = timed.back().first;
    for (std::size_t r = 0; r < rules.size(); ++r) {
        const std::int64_t until = r + 1 < rules.size() ? rules[r + 1].tick : last + 1;
        for (std::int64_t tick = rules[r].tick; tick < until && tick <= last; tick += rules[r].length) {
            if (layout.bars.size() >= kMostBars) return;
            layout.bars.push_back(TimeAtTick(timed, tick));
        }
    }
}

}  // namespace

std::vector<std::int64_t> WalkEventTimes(MidiF0Data& prepared) {
    const std::size_t count = prepared.track ? prepared.track->events.size() : 0;
    std::vector<std::int64_t> times(count, -1);
    std::atomic<std::int32_t> sent{0};
    NotingClock clock(sent);
    SilentMidiOut output;
    const std::int32_t total = WalkOnVirtualClock(prepared, clock, output, &sent).sent;
    // What the pre-roll sent left at the opening, before its pause: all that
    // was sent before the first timer event.
    const std::int32_t preRoll = clock.marks.empty() ? total : clock.marks.front().second;
    const auto at = [&](std::int32_t from, std::int32_t to, std::int64_t time) {
        from = std::clamp<std::int32_t>(from, 0, static_cast<std::int32_t>(count));
        to = std::clamp<std::int32_t>(to, from, static_cast<std::int32_t>(count));
        std::fill(times.begin() + from, times.begin() + to, time);
    };
    at(0, preRoll, 0);
    for (std::size_t k = 0; k < clock.marks.size(); ++k) {
        const std::int32_t next = k + 1 < clock.marks.size() ? clock.marks[k + 1].second : total;
        at(clock.marks[k].second, next, clock.marks[k].first);
    }
    return times;
}

RollLayout LayOutRoll(const MidiF0Data& playable) {
    RollLayout layout;
    if (!playable.track) return layout;
    std::unique_ptr<MidiF0Data> prepared = PrepareForPlay(playable);
    if (!prepared->track || prepared->state != kStateEventForm) return layout;
    layout.eventTimes = WalkEventTimes(*prepared);
    const std::vector<MusicEvent>& events = prepared->track->events;

    // The notes sounding on each channel and key, newest first, linked
    // through their indexes: a note-off ends them all, as on a synthesizer.
    std::vector<std::int32_t> open(kChannels * kKeys, -1);
    std::vector<std::int32_t> below;
    std::vector<BarRule> rules{{0, 4 * std::int64_t{prepared->division}}};
    std::vector<std::pair<std::int64_t, std::int64_t>> timed;  // tick, time of the events sent
    std::int64_t tick = 0;
    bool started = false;
    int low = kKeys;
    int high = -1;
    for (std::size_t i = 0; i < events.size(); ++i) {
        const MusicEvent& e = events[i];
        tick += e.delta;
        const std::int64_t time = layout.eventTimes[i];
        if (time < 0) continue;
        // The pre-roll sends everything before the first note at once, so
        // its events say nothing of when their ticks pass.
        if (e.type == kTypeNoteOn) started = true;
        if (started && (timed.empty() || timed.back().first != tick)) timed.emplace_back(tick, time);
        layout.length = std::max(layout.length, time);
        if (e.type == kTypeMeta && e.subtype == kMetaTimeSignature) {
            const std::int64_t bar = BarTicks(prepared->division, e.DataByte(0), e.DataByte(1));
            if (bar > 0) {
                if (rules.back().tick == tick) rules.pop_back();
                rules.push_back({tick, bar});
            }
            continue;
        }
        if (e.type != kTypeNoteOn && e.type != kTypeNoteOff) continue;
        if (e.channel < 0 || e.channel >= kChannels || e.key < 0 || e.key >= kKeys) continue;
        std::int32_t& head = open[static_cast<std::size_t>(e.channel * kKeys + e.key)];
        if (e.type == kTypeNoteOn && e.velocity > 0) {
            below.push_back(head);
            head = static_cast<std::int32_t>(layout.notes.size());
            layout.notes.push_back({time, -1, static_cast<std::uint8_t>(e.key), static_cast<std::uint8_t>(e.channel),
                                    static_cast<std::uint8_t>(std::clamp(e.velocity, 0, 127))});
            low = std::min(low, e.key);
            high = std::max(high, e.key);
        } else {
            for (; head >= 0; head = below[static_cast<std::size_t>(head)]) {
                layout.notes[static_cast<std::size_t>(head)].end = time;
            }
        }
    }
    for (RollNote& note : layout.notes) {
        if (note.end < 0) note.end = layout.length;  // never ended: it sounds until the play ends
    }
    AddBars(layout, rules, timed);
    if (high >= low) {
        layout.lowKey = low;
        layout.highKey = high;
    }
    // A lone note or a narrow tune still shows where it lies on the keyboard.
    const int missing = kFewestKeysShown - (layout.highKey - layout.lowKey + 1);
    if (missing > 0) {
        layout.lowKey = std::max(0, layout.lowKey - missing / 2);
        layout.highKey = std::min(kKeys - 1, layout.lowKey + kFewestKeysShown - 1);
        layout.lowKey = std::max(0, layout.highKey - kFewestKeysShown + 1);
    }
    return layout;
}

std::int64_t TimeOfSent(const RollLayout& layout, std::int32_t sent) {
    if (sent <= 0 || static_cast<std::size_t>(sent) > layout.eventTimes.size()) return -1;
    return layout.eventTimes[static_cast<std::size_t>(sent) - 1];
}

}  // namespace solvane
