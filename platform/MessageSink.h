#pragma once
// Where every report of the program goes: module name, code and the fixed text.
// One sink is installed for the whole process; the default prints to stderr.
// Show returns only once the report has been acknowledged (a dialog's OK).

#include <cstdint>
#include <string>
#include <string_view>

namespace solvane {

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void Show(std::string_view module, std::uint32_t code, std::string_view text) = 0;
};

// Installs the sink for every later report; nullptr restores the stderr default.
// The caller keeps the sink alive while it is installed.
void InstallMessageSink(MessageSink* sink);
MessageSink& CurrentMessageSink();

// Formats "Module 0x0D000001: text" as the stderr sinks print it.
std::string FormatReport(std::string_view module, std::uint32_t code, std::string_view text);

}  // namespace solvane
