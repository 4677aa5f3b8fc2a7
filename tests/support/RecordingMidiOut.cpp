#include "tests/support/RecordingMidiOut.h"

#include <algorithm>
#include <cstdio>

#include "platform/OneShotTimer.h"

namespace solvane::test {

class RecordingHandle : public MidiOutHandle {
public:
    RecordingHandle(RecordingMidiOut& out, int opening) : out_(out), opening_(opening) {}
    bool ShortMessage(std::uint32_t packed) override {
        if ((packed & 0xF0) == 0x90) out_.PassGate();
        out_.Record(opening_, Sent::kShort,
                    {static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
                     static_cast<std::uint8_t>(packed >> 16)});
        return !out_.shortFails;
    }
    LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
        out_.Record(opening_, Sent::kLong, std::vector<std::uint8_t>(bytes, bytes + length));
        return out_.longResult;
    }
    bool Reset() override {
        out_.Record(opening_, Sent::kReset, {});
        return !out_.resetFails;
    }
    bool Close() override {
        out_.Record(opening_, Sent::kClose, {});
        return !out_.closeFails;
    }

private:
    RecordingMidiOut& out_;
    const int opening_;
};

RecordingMidiOut::RecordingMidiOut() { InstallMidiOutDevice(this); }

RecordingMidiOut::~RecordingMidiOut() { InstallMidiOutDevice(nullptr); }

std::unique_ptr<MidiOutHandle> RecordingMidiOut::Open(int id) {
    std::lock_guard lock(mutex_);
    openedIds_.push_back(id);
    if (openFails) return nullptr;
    openedAt_ = CurrentTimer().Now();
    return std::make_unique<RecordingHandle>(*this, static_cast<int>(openedIds_.size()) - 1);
}

void RecordingMidiOut::Beep(std::uint32_t, std::uint32_t) {
    std::lock_guard lock(mutex_);
    ++beeps_;
}

void RecordingMidiOut::Record(int opening, Sent::Kind kind, std::vector<std::uint8_t> bytes) {
    const auto now = CurrentTimer().Now();
    std::lock_guard lock(mutex_);
    sent_.push_back(
        {kind, std::move(bytes), std::chrono::duration_cast<std::chrono::milliseconds>(now - openedAt_), opening});
}

void RecordingMidiOut::PassGate() {
    std::unique_lock lock(mutex_);
    ++waiting_;
    gateOpened_.wait(lock, [this] { return !gateClosed_; });
    --waiting_;
}

void RecordingMidiOut::CloseGate() {
    std::lock_guard lock(mutex_);
    gateClosed_ = true;
}

void RecordingMidiOut::OpenGate() {
    {
        std::lock_guard lock(mutex_);
        gateClosed_ = false;
    }
    gateOpened_.notify_all();
}

int RecordingMidiOut::waitingAtGate() const {
    std::lock_guard lock(mutex_);
    return waiting_;
}

std::vector<Sent> RecordingMidiOut::sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

std::vector<std::string> RecordingMidiOut::lines() const {
    std::vector<std::string> out;
    for (const Sent& s : sent()) {
        if (s.kind == Sent::kReset) {
            out.push_back("RESET");
            continue;
        }
        if (s.kind == Sent::kClose) {
            out.push_back("CLOSE");
            continue;
        }
        std::string line;
        for (std::uint8_t b : s.bytes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02X", b);
            if (!line.empty()) line += ' ';
            line += hex;
        }
        out.push_back(line);
    }
    return out;
}

int Count(const std::vector<std::string>& lines, std::string_view line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

int RecordingMidiOut::opens() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(openedIds_.size());
}

std::vector<int> RecordingMidiOut::openedIds() const {
    std::lock_guard lock(mutex_);
    return openedIds_;
}

int RecordingMidiOut::beeps() const {
    std::lock_guard lock(mutex_);
    return beeps_;
}

}  // namespace solvane::test
