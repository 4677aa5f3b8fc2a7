#pragma once
// A help viewer that records each topic asked for and shows nothing.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/HelpViewer.h"

namespace solvane::test {

class RecordingHelpViewer : public HelpViewer {
public:
    bool ShowTopic(std::string_view file, std::string_view topic) override {
        calls.emplace_back(std::string(file), std::string(topic));
        return true;
    }
    std::vector<std::pair<std::string, std::string>> calls;
};

}  // namespace solvane::test
