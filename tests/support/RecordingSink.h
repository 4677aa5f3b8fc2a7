#pragma once
// Records every report instead of showing it; installed for its lifetime.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageSink.h"

namespace solvane::test {

struct Report {
    std::string module;
    std::uint32_t code;
    std::string text;
};

class RecordingSink : public MessageSink {
public:
    RecordingSink();
    ~RecordingSink() override;
    void Show(std::string_view module, std::uint32_t code, std::string_view text) override;

    std::vector<Report> reports() const;
    std::vector<std::uint32_t> codes() const;
    std::vector<std::string> texts() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<Report> reports_;
    MessageSink* previous_;
};

}  // namespace solvane::test
