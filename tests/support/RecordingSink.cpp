#include "tests/support/RecordingSink.h"

namespace solvane::test {

RecordingSink::RecordingSink() : previous_(&CurrentMessageSink()) { InstallMessageSink(this); }

RecordingSink::~RecordingSink() { InstallMessageSink(previous_); }

void RecordingSink::Show(std::string_view module, std::uint32_t code, std::string_view text) {
    std::lock_guard lock(mutex_);
    reports_.push_back({std::string(module), code, std::string(text)});
}

std::vector<Report> RecordingSink::reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
}

std::vector<std::uint32_t> RecordingSink::codes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint32_t> out;
    for (const Report& r : reports_) out.push_back(r.code);
    return out;
}

std::vector<std::string> RecordingSink::texts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> out;
    for (const Report& r : reports_) out.push_back(r.text);
    return out;
}

void RecordingSink::Clear() {
    std::lock_guard lock(mutex_);
    reports_.clear();
}

}  // namespace solvane::test
