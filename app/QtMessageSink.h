#pragma once
// Shows every report in a message box with one OK button, application-modal,
// on the UI thread, in the language the user chose (Japanese by default). A
// report from another thread waits there until the user has pressed OK; a
// report from the UI thread is shown at once.

#include <QString>
#include <string_view>

#include "platform/MessageSink.h"

namespace solvane {

inline constexpr const char* kMessageBoxTitle = "Solvane";

class QtMessageSink : public MessageSink {
public:
    void Show(std::string_view module, std::uint32_t code, std::string_view text) override;

    // The text as the box shows it: the tables separate lines with a bare
    // carriage return, which a Qt label would not break at.
    static QString DisplayText(std::string_view text);

private:
    static void ShowBox(const QString& text);
};

}  // namespace solvane
