#pragma once
// Small numbers for the (channel, key) pairs that identify notes, so that
// per-note tables can be plain arrays. Channels 0..15 with keys 0..127 have
// fixed numbers; any other pair (only damaged files hold them) gets the next
// free number when first asked for. Owned by the operation that uses it.

#include <cstdint>
#include <unordered_map>

namespace solvane {

class NoteKeys {
public:
    static constexpr std::int32_t kFixed = 16 * 128;

    std::int32_t Of(std::int32_t channel, std::int32_t key) {
        if (channel >= 0 && channel < 16 && key >= 0 && key < 128) return channel * 128 + key;
        const std::uint64_t pair =
            (std::uint64_t{static_cast<std::uint32_t>(channel)} << 32) | static_cast<std::uint32_t>(key);
        return others_.try_emplace(pair, kFixed + static_cast<std::int32_t>(others_.size())).first->second;
    }
    // One more than the largest number handed out so far (at least kFixed).
    std::int32_t size() const { return kFixed + static_cast<std::int32_t>(others_.size()); }

private:
    std::unordered_map<std::uint64_t, std::int32_t> others_;
};

}  // namespace solvane
