#include "fuzz/CountingMidiOut.h"

namespace solvane::fuzz {

class CountingHandle : public MidiOutHandle {
public:
    explicit CountingHandle(CountingMidiOut& out) : out_(out) {}
    bool ShortMessage(std::uint32_t) override {
        out_.Count(CountingMidiOut::kShort);
        return true;
    }
    LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
        for (std::size_t i = 0; i < length; ++i) out_.longBytesSum += bytes[i];
        out_.Count(CountingMidiOut::kLong);
        return LongResult::kSent;
    }
    bool Reset() override {
        ++out_.resets;
        out_.Count(CountingMidiOut::kReset);
        return true;
    }
    bool Close() override {
        ++out_.closes;
        out_.Count(CountingMidiOut::kClose);
        return true;
    }

private:
    CountingMidiOut& out_;
};

std::unique_ptr<MidiOutHandle> CountingMidiOut::Open(int) {
    ++opens;
    return std::make_unique<CountingHandle>(*this);
}

void CountingMidiOut::Count(Kind kind) {
    beforeLast = last;
    last = kind;
}

}  // namespace solvane::fuzz
