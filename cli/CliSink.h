#pragma once
// Where solvane-cli's reports go: one line each on stderr, in the language
// asked for, naming the file it is about when there is one:
//   solvane-cli: FILE: Module 0x0D000005: text
// Also the program's own lines (a skipped file, a summary) and, on a
// terminal, a progress line that every other line first clears. Reports can
// come from the play's threads; the file is set while none runs.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "messages/MessageLanguage.h"
#include "platform/MessageSink.h"

namespace solvane::cli {

class CliSink : public MessageSink {
public:
    void Show(std::string_view module, std::uint32_t code, std::string_view text) override;

    // The file the next reports are about, as the user named it ("-" for
    // standard input); empty for none.
    void About(std::string file);
    // A line of the program's own about file (none when empty).
    void Say(std::string_view file, std::string_view text);
    // Replaces the progress line (no newline); only where stderr is a terminal.
    void Progress(std::string_view text);
    void ClearProgress();
    bool OnTerminal() const { return onTerminal_; }

    std::atomic<int> cannotOpen{0};
    std::atomic<int> outputFailed{0};
    Language language = Language::kJapanese;

private:
    void WriteLine(std::string_view file, std::string_view text);

    std::mutex mutex_;
    std::string file_;
    bool progressShown_ = false;
    const bool onTerminal_ = StderrIsTerminal();
    static bool StderrIsTerminal();
};

// A file name as a report line shows it: control characters escaped, so
// that a name cannot break the line.
std::string ShownFileName(std::string_view file);

}  // namespace solvane::cli
