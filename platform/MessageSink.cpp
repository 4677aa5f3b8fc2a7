#include "platform/MessageSink.h"

#include <atomic>
#include <cstdio>
#include <string>

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
std::atomic<MessageSink*> g_sink{nullptr};

}  // namespace

void InstallMessageSink(MessageSink* sink) { g_sink.store(sink); }

MessageSink& CurrentMessageSink() {
    MessageSink* sink = g_sink.load();
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
