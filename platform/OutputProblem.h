#pragma once
// Why a MIDI output did not open, in words for the user, and a place where an
// output keeps the reason of its last failure: Open runs on a play's worker,
// the reason is read on another thread.

#include <mutex>
#include <string>

namespace solvane {

std::string NoSequencerProblem();
std::string NoSoundFontProblem();
std::string UnreadableSoundFontProblem(const std::string& soundFont);
std::string NoAudioProblem();
std::string PortRefusedProblem(const std::string& port);

class ProblemNote {
public:
    void Set(std::string problem) {
        std::lock_guard lock(mutex_);
        problem_ = std::move(problem);
    }
    std::string Get() const {
        std::lock_guard lock(mutex_);
        return problem_;
    }

private:
    mutable std::mutex mutex_;
    std::string problem_;
};

}  // namespace solvane
