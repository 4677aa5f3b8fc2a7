#pragma once
// The exit statuses of solvane-cli, as its usage text and manual page give
// them, and how a batch of files sums them up.

#include <string>

namespace solvane::cli {

inline constexpr int kExitWritten = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitNoSong = 2;
inline constexpr int kExitWithErrors = 3;
inline constexpr int kExitUsage = 64;

// The worse of two files' statuses: 1 (the destination failed: likely every
// file after it too), then 2 (nothing usable was loaded), then 3, then 0.
inline int Worse(int a, int b) {
    const auto rank = [](int status) {
        return status == kExitFailed ? 3 : status == kExitNoSong ? 2 : status == kExitWithErrors ? 1 : 0;
    };
    return rank(b) > rank(a) ? b : a;
}

// Prints problem and the usage text on stderr; returns kExitUsage.
int UsageError(const std::string& problem);

}  // namespace solvane::cli
