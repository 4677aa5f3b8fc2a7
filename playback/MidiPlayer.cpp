#include "playback/MidiPlayer.h"

#include <chrono>
#include <utility>

#include "song/MidiF0Data.h"
#include "support/General.h"
#include "support/Messages.h"

namespace solvane {
namespace {

using std::chrono::milliseconds;

constexpr std::int32_t kStartTempo = 240;  // until the song sets one
constexpr std::int32_t kFallbackTempo = 60;
constexpr std::int32_t kSlowestTempo = 30;
constexpr std::uint32_t kPreRollPause = 30;  // milliseconds per event sent before the first note

// A callback this late was held up (a message box, a stalled machine):
// play on from now rather than rush through the missed events.
constexpr auto kStall = milliseconds(50);

}  // namespace

std::int32_t TempoToBpm(std::int32_t microseconds) { return 60000 / (microseconds / 1000); }

void MidiPlayer::ReportError(std::uint32_t code) const { ReportModuleError(Module::kMidiPlayer, code); }

MidiPlayer::MidiPlayer(MidiF0Data* song, std::int32_t deviceId, std::function<bool()> stopWhileStarting,
                       OneShotTimer* timer, MidiOutDevice* output, std::atomic<std::int32_t>* published)
    : timer_(timer != nullptr ? *timer : CurrentTimer()),
      stopWhileStarting_(std::move(stopWhileStarting)),
      published_(published) {
    if (song == nullptr || song->state != kStateEventForm) {
        ReportError(kPlayerInternalError);
        return;
    }
    this->song = song;
    Start(deviceId, output);
}

void MidiPlayer::Start(std::int32_t deviceId, MidiOutDevice* output) {
    device = std::make_unique<MidiControler>(deviceId, output);
    if (!device->handle) {
        device->Close();
        device.reset();
        playing = 0;
        return;
    }
    device->SendGmSystemOn();
    stopRequested = 0;
    playing = 1;
    tempo = kStartTempo;
    position = 0;
    PreRoll();
    if (StoppedWhileStarting()) {
        // What the pre-roll sent stays sent; no timer starts, so the play is
        // over at once and the worker resets and closes the output as after
        // any stop.
        stopRequested = 1;
        playing = 0;
        return;
    }
    const std::int64_t ticksPerMinute = std::int64_t{song->division} * tempo;
    if (ticksPerMinute <= 0) {
        playing = 0;  // no tick rate: nothing can be timed
        ReportGeneralError(kGeneralFallback);
        return;
    }
    period = static_cast<std::uint32_t>(60000 / ticksPerMinute);
    const std::uint32_t minimum = timer_.MinPeriod();
    if (period < minimum) {
        ReportError(kPlayerResolutionTooFine);  // stays playing, silent, until stopped
        return;
    }
    timer_.BeginPeriod(period);
    periodBegun_ = true;
    if (!Arm(timer_.Now() + milliseconds(period), minimum)) ReportError(kPlayerNoTimer);
}

MidiPlayer::~MidiPlayer() { Release(); }

void MidiPlayer::Release() {
    std::uint32_t pending = 0;
    {
        std::lock_guard lock(armMutex_);
        closed_ = true;
        pending = timerId;
    }
    // No callback can arm another now; cancel the pending one, or wait for
    // the one running, before the output and the song go away.
    if (pending != 0) timer_.KillEvent(pending);
    if (periodBegun_) timer_.EndPeriod(period);
    if (device) {
        device->Close();
        device.reset();
    }
    if (published_ != nullptr) published_->store(-1, std::memory_order_release);
}

bool MidiPlayer::Arm(OneShotTimer::Clock::time_point due, std::uint32_t resolution) {
    std::lock_guard lock(armMutex_);
    if (closed_) return false;
    const std::uint32_t id = timer_.SetEventAt(
        due, resolution, [this](std::uint32_t firing, OneShotTimer::Clock::time_point when) { OnTimer(firing, when); });
    timerId = id;
    return id != 0;
}

std::int32_t MidiPlayer::SendEvent(const MusicEvent& event) {
    const auto u = [](std::int32_t field) { return static_cast<std::uint32_t>(field); };
    const std::uint32_t channel = u(event.channel);
    switch (event.type) {
        case kTypeNoteOff: device->NoteOff(u(event.key), channel); break;
        case kTypeNoteOn: device->NoteOn(u(event.key), u(event.velocity), channel); break;
        case kTypeControl: device->SendShort(u(event.value), u(event.subtype), 0xB0 | channel); break;
        case kTypeProgram: device->ProgramChange(u(event.value), channel); break;
        case kTypePitchBend: device->SendShort(u(event.value), u(event.key), 0xE0 | channel); break;
        case kTypeSysEx:
        case kTypeEscape:
            device->SendExclusive(static_cast<std::uint32_t>(event.length), event.data.data());
            break;
        case kTypeMeta:
            if (event.subtype == kMetaTempo) {
                const std::int32_t ms = event.value / 1000;
                if (ms == 0) {
                    ReportGeneralError(kGeneralFallback);
                    tempo = kFallbackTempo;
                } else {
                    tempo = TempoToBpm(event.value);
                    if (tempo < kSlowestTempo) {
                        ReportError(kPlayerTempoTooSlow);
                        tempo = kFallbackTempo;
                    }
                }
            }
            break;
        default:
            break;
    }
    ++position;
    if (published_ != nullptr) published_->store(position, std::memory_order_release);
    if (position >= song->track->count()) return -1;
    return song->track->events[static_cast<std::size_t>(position)].delta;
}

void MidiPlayer::PreRoll() {
    const std::vector<MusicEvent>& events = song->track->events;
    while (position < static_cast<std::int32_t>(events.size()) &&
           events[static_cast<std::size_t>(position)].type != kTypeNoteOn) {
        SendEvent(events[static_cast<std::size_t>(position)]);
    }
    // Give the output time to take in what was sent before the first note.
    // A song with many set-up events pauses for minutes: a stop ends it.
    timer_.SleepUnless(kPreRollPause * static_cast<std::uint32_t>(position),
                       [this] { return StoppedWhileStarting(); });
}

void MidiPlayer::OnTimer(std::uint32_t /*id*/, OneShotTimer::Clock::time_point due) {
    if (stopRequested != 0) {
        playing = 0;
        return;
    }
    const std::vector<MusicEvent>& events = song->track->events;
    if (position >= static_cast<std::int32_t>(events.size())) {
        playing = 0;
        return;
    }
    std::int64_t d = SendEvent(events[static_cast<std::size_t>(position)]);
    for (;;) {
        if (d < 0) {
            playing = 0;
            return;
        }
        const std::int64_t x = std::int64_t{song->division} * tempo;
        if (x == 0) {
            playing = 0;
            ReportGeneralError(kGeneralFallback);
            return;
        }
        const std::int64_t wait = d * 60000 / x;
        if (wait > 0) {
            // Timed from when this callback was due, so timer latency does not
            // add up over the piece.
            auto base = due;
            const auto now = timer_.Now();
            if (now - due > kStall) base = now;
            if (!Arm(base + milliseconds(wait), period)) {
                // The chain cannot go on; end the play instead of hanging silent.
                const bool refused = timerId == 0;
                playing = 0;
                if (refused) ReportError(kPlayerNoTimer);
            }
            return;
        }
        d = SendEvent(events[static_cast<std::size_t>(position)]);
    }
}

}  // namespace solvane
