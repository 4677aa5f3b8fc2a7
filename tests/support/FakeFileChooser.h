#pragma once
// A file chooser that answers each question with the next queued path of its
// kind; std::nullopt, or an empty queue, is a cancel. It counts the questions
// and keeps what the last one asked for. Installed for its lifetime.

#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileChooser.h"

namespace solvane::test {

class FakeFileChooser : public FileChooser {
public:
    FakeFileChooser() { InstallFileChooser(this); }
    ~FakeFileChooser() override { InstallFileChooser(nullptr); }

    void QueueOpen(std::optional<std::string> path) { opens_.push_back(std::move(path)); }
    void QueueSave(std::optional<std::string> path) { saves_.push_back(std::move(path)); }

    bool AskOpen(std::string_view defaultExtension, std::string_view filter, std::string& path) override {
        ++openAsks;
        return Answer(opens_, defaultExtension, filter, path);
    }
    bool AskSave(std::string_view defaultExtension, std::string_view filter, std::string& path) override {
        ++saveAsks;
        return Answer(saves_, defaultExtension, filter, path);
    }

    int openAsks = 0;
    int saveAsks = 0;
    std::string lastExtension;
    std::string lastFilter;

private:
    bool Answer(std::deque<std::optional<std::string>>& answers, std::string_view defaultExtension,
                std::string_view filter, std::string& path) {
        lastExtension = defaultExtension;
        lastFilter = filter;
        if (answers.empty()) return false;
        const std::optional<std::string> answer = std::move(answers.front());
        answers.pop_front();
        if (answer) path = *answer;
        return answer.has_value();
    }

    std::deque<std::optional<std::string>> opens_;
    std::deque<std::optional<std::string>> saves_;
};

}  // namespace solvane::test
