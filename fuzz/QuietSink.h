#pragma once
// The fuzz targets' message sink: nothing is shown or printed; the codes of
// the current step are kept so a target can tell a clean load from a damaged one.

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/MessageSink.h"

namespace solvane::fuzz {

class QuietSink : public MessageSink {
public:
    QuietSink() {
        codes.reserve(kKept);  // room once, not again for every few reports
        InstallMessageSink(this);
    }
    ~QuietSink() override { InstallMessageSink(nullptr); }
    QuietSink(const QuietSink&) = delete;
    QuietSink& operator=(const QuietSink&) = delete;

    void Show(std::string_view, std::uint32_t code, std::string_view) override {
        if (codes.size() < kKept) codes.push_back(code);
    }

    std::vector<std::uint32_t> codes;

private:
    static constexpr std::size_t kKept = 64;
};

}  // namespace solvane::fuzz
