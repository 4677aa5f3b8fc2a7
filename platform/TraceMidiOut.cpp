#include "platform/TraceMidiOut.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

#include "platform/MidiBytes.h"

namespace solvane {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

class TraceHandle : public MidiOutHandle {
public:
    explicit TraceHandle(std::unique_ptr<std::FILE, FileCloser> file)
        : file_(std::move(file)), opened_(std::chrono::steady_clock::now()) {}

    bool ShortMessage(std::uint32_t packed) override {
        const ShortMessageBytes message = UnpackShortMessage(packed);
        if (message.length == 0) return false;
        return WriteLine(HexBytes(message.bytes.data(), message.length));
    }

    LongResult LongMessage(const std::uint8_t* bytes, std::size_t length) override {
        if (bytes == nullptr || length == 0) return LongResult::kNotSent;
        return WriteLine(HexBytes(bytes, length)) ? LongResult::kSent : LongResult::kNotSent;
    }

    bool Reset() override { return WriteLine("RESET"); }

    bool Close() override {
        if (!file_) return false;
        return std::fclose(file_.release()) == 0;
    }

private:
    static std::string HexBytes(const std::uint8_t* bytes, std::size_t length) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::string text;
        text.reserve(length * 3);
        for (std::size_t i = 0; i < length; ++i) {
            if (i > 0) text += ' ';
            text += kDigits[bytes[i] >> 4];
            text += kDigits[bytes[i] & 0x0F];
        }
        return text;
    }

    bool WriteLine(const std::string& text) {
        if (!file_) return false;
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - opened_);
        const std::string line = std::to_string(elapsed.count()) + ' ' + text + '\n';
        const bool written = std::fwrite(line.data(), 1, line.size(), file_.get()) == line.size();
        return std::fflush(file_.get()) == 0 && written;
    }

    std::unique_ptr<std::FILE, FileCloser> file_;
    std::chrono::steady_clock::time_point opened_;
};

}  // namespace

TraceMidiOut::TraceMidiOut(std::string path) : path_(std::move(path)) {}

int TraceMidiOut::DeviceCount() { return 1; }

std::unique_ptr<MidiOutHandle> TraceMidiOut::Open(int id) {
    if (id != kDefaultDevice && id != 0) return nullptr;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path_.c_str(), "wb"));
    if (!file) return nullptr;
    return std::make_unique<TraceHandle>(std::move(file));
}

void TraceMidiOut::Beep(std::uint32_t, std::uint32_t) {}

}  // namespace solvane
