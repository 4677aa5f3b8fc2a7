#include "tests/support/RecordingMidiOut.h"

#include <cstdio>

#include "platform/OneShotTimer.h"

namespace solvane::test {

class RecordingHandle : public MidiOutHandle {
public:
    explicit RecordingHandle(RecordingMidiOut& out) : out_(out) {}
    bool ShortMessage(std::uint32_t packed) override {
        out_.Record(Sent::kShort, {static_cast<std::uint8_t>(packed), static_cast<std::uint8_t>(packed >> 8),
                                   static_cast<std::uint8_t>(packed >> 16)});
        return !out_.shortFails;
    }
    LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
        out_.Record(Sent::kLong, std::vector<std::uint8_t>(bytes, bytes + length));
        return out_.longResult;
    }
    bool Reset() override {
        out_.Record(Sent::kReset, {});
        return !out_.resetFails;
    }
    bool Close() override {
        out_.Record(Sent::kClose, {});
        return !out_.closeFails;
    }

private:
    RecordingMidiOut& out_;
};

RecordingMidiOut::RecordingMidiOut() { InstallMidiOutDevice(this); }

RecordingMidiOut::~RecordingMidiOut() { InstallMidiOutDevice(nullptr); }

std::unique_ptr<MidiOutHandle> RecordingMidiOut::Open(int id) {
    std::lock_guard lock(mutex_);
    openedIds_.push_back(id);
    if (openFails) return nullptr;
    openedAt_ = CurrentTimer().Now();
    return std::make_unique<RecordingHandle>(*this);
}

void RecordingMidiOut::Beep(std::uint32_t, std::uint32_t) {
    std::lock_guard lock(mutex_);
    ++beeps_;
}

void RecordingMidiOut::Record(Sent::Kind kind, std::vector<std::uint8_t> bytes) {
    const auto now = CurrentTimer().Now();
    std::lock_guard lock(mutex_);
    sent_.push_back({kind, std::move(bytes), std::chrono::duration_cast<std::chrono::milliseconds>(now - openedAt_)});
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
