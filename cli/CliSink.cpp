#include "cli/CliSink.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/MidiOutDevice.h"
#include "support/General.h"
#include "support/Messages.h"

namespace solvane::cli {

bool CliSink::StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::string ShownFileName(std::string_view file) {
    std::string shown;
    shown.reserve(file.size());
    for (const char c : file) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

void CliSink::Show(std::string_view module, std::uint32_t code, std::string_view text) {
    const std::string_view shown = LocalizedMessage(language, module, code, text);
    std::string file;
    {
        std::lock_guard lock(mutex_);
        file = file_;
    }
    WriteLine(file, FormatReport(module, code, shown));
    if (module == ModuleName(Module::kGeneral) && code == kGeneralCannotOpen) ++cannotOpen;
    if (module == ModuleName(Module::kMidiControler) && code == kControlerOpenFailed) {
        ++outputFailed;
        // The report names no cause; the output usually knows one.
        const MidiOutDevice* device = CurrentMidiOutDevice();
        const std::string why = device != nullptr ? device->WhyNotOpen() : std::string();
        if (!why.empty()) WriteLine(file, why);
    }
}

void CliSink::About(std::string file) {
    std::lock_guard lock(mutex_);
    file_ = std::move(file);
}

void CliSink::Say(std::string_view file, std::string_view text) { WriteLine(file, text); }

void CliSink::WriteLine(std::string_view file, std::string_view text) {
    std::string line;
    {
        std::lock_guard lock(mutex_);
        if (progressShown_) line = "\r\033[K";
        progressShown_ = false;
    }
    line += "solvane-cli: ";
    if (!file.empty()) line += ShownFileName(file) + ": ";
    line += text;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

// At most columns characters of text: a line that wrapped could not be
// taken back with a carriage return.
std::string FitTo(std::string text, std::size_t columns) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // inside a UTF-8 character
        if (++characters > columns) {
            text.resize(i);
            break;
        }
    }
    return text;
}

void CliSink::Progress(std::string_view text) {
    if (!onTerminal_) return;
    winsize size{};
    const std::size_t columns = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1u : 79u;
    std::lock_guard lock(mutex_);
    std::string line = "\r\033[K";
    line += FitTo(ShownFileName(text), columns);
    std::fwrite(line.data(), 1, line.size(), stderr);
    progressShown_ = true;
}

void CliSink::ClearProgress() {
    std::lock_guard lock(mutex_);
    if (!progressShown_) return;
    std::fputs("\r\033[K", stderr);
    progressShown_ = false;
}

}  // namespace solvane::cli
