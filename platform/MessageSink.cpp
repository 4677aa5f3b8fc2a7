#include "platform/MessageSink.h"

#include <cstdio>
#include <string>

#include "platform/Installed.h"

namespace solvane {
namespace {

class StderrSink : public MessageSink {
public:
    void Show(std::string_view module, std::uint32_t code, std::string_view text) override {
        const std::string line = FormatReport(module, code, text) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    }
};

StderrSink g_stderrSink;

}  // namespace

void InstallMessageSink(MessageSink* sink) { Installed<MessageSink>::Install(sink); }

MessageSink& CurrentMessageSink() {
    MessageSink* sink = Installed<MessageSink>::Current();
    return sink != nullptr ? *sink : g_stderrSink;
}

std::string FormatReport(std::string_view module, std::uint32_t code, std::string_view text) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", code);
    std::string line(module);
    line += ' ';
    line += hex;
    line += ": ";
    line += text;
    return line;
}

}  // namespace solvane
