#include "platform/MidiPort.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

namespace solvane {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool Contains(std::string_view text, std::string_view part) {
    return Lower(text).find(Lower(part)) != std::string::npos;
}

std::optional<int> Number(std::string_view text) {
    int value = 0;
    if (text.empty()) return std::nullopt;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
    return value;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// The first port, in address order, that satisfies the test.
template <typename Test>
int FirstInAddressOrder(const std::vector<MidiPort>& ports, Test test) {
    int best = -1;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (!test(ports[i])) continue;
        if (best < 0 || std::pair(ports[i].client, ports[i].port) <
                            std::pair(ports[static_cast<std::size_t>(best)].client,
                                      ports[static_cast<std::size_t>(best)].port)) {
            best = static_cast<int>(i);
        }
    }
    return best;
}

}  // namespace

std::string MidiPort::Address() const { return std::to_string(client) + ":" + std::to_string(port); }

bool IsMidiThrough(const MidiPort& port) {
    return Contains(port.clientName, "midi through") || Contains(port.portName, "midi through");
}

bool LooksLikeSynth(int client, std::string_view clientName, std::string_view portName, bool typedAsSynth) {
    if (client == 0) return false;  // the sequencer's own timer and announcements
    if (typedAsSynth) return true;
    for (std::string_view name : {clientName, portName}) {
        if (Contains(name, "synth") || Contains(name, "timidity")) return true;
    }
    return false;
}

int ChooseDefaultPort(const std::vector<MidiPort>& ports) {
    return FirstInAddressOrder(ports, [](const MidiPort& port) {
        return port.synth && port.client != 0 && !IsMidiThrough(port);
    });
}

int FindPort(const std::vector<MidiPort>& ports, std::string_view name) {
    name = Trim(name);
    if (name.empty()) return -1;
    // The whole name, as the window keeps it, wins over any reading of its parts.
    const int exact = FirstInAddressOrder(ports, [&](const MidiPort& port) {
        return Lower(port.clientName + ":" + port.portName) == Lower(name);
    });
    if (exact >= 0) return exact;
    const std::size_t colon = name.rfind(':');
    const std::optional<int> whole = Number(name);
    if (whole) {
        return FirstInAddressOrder(ports, [&](const MidiPort& port) { return port.client == *whole; });
    }
    if (colon != std::string_view::npos) {
        const std::string_view before = Trim(name.substr(0, colon));
        const std::optional<int> portNumber = Number(Trim(name.substr(colon + 1)));
        if (portNumber) {
            const std::optional<int> client = Number(before);
            const int found = FirstInAddressOrder(ports, [&](const MidiPort& port) {
                if (port.port != *portNumber) return false;
                return client ? port.client == *client : !before.empty() && Contains(port.clientName, before);
            });
            if (found >= 0 || client) return found;
        }
    }
    // Punctuation alone would match nearly every port.
    if (std::none_of(name.begin(), name.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); })) {
        return -1;
    }
    return FirstInAddressOrder(ports, [&](const MidiPort& port) {
        return Contains(port.clientName + ":" + port.portName, name);
    });
}

}  // namespace solvane
