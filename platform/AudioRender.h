#pragma once
// Audio of a piece made without waiting for a clock. The play's own walk runs
// on a virtual clock into a recorder, so every message keeps the time a play
// would give it (pre-roll and its pauses, System On, the tempo rules); the
// built-in synthesizer then renders those messages at their times turned into
// sample positions, and its release tail, into a file. The same messages and
// soundfont give the same bytes.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace solvane {

class MidiF0Data;

struct TimedMessage {
    enum class Kind : std::uint8_t { kShort, kLong, kReset };
    std::int64_t microseconds = 0;  // since the output was opened
    Kind kind = Kind::kShort;
    std::uint32_t packed = 0;         // a short message as the output gets it
    std::vector<std::uint8_t> bytes;  // a long message's bytes on the wire
};

// What a play of song (note form, transformed as for Play) sends, in order,
// with the times the walk gives it, up to and with the output's reset.
// cancelled is asked between timer events; nothing is returned once it said yes.
std::vector<TimedMessage> WalkMessages(const MidiF0Data& song, const std::function<bool()>& cancelled = {});

enum class AudioFormat { kWav, kFlac };

// The format a file name's extension asks for, when it can be written here:
// .wav always (16-bit stereo, 44.1 kHz); .flac when FluidSynth offers it
// (its build has libsndfile with FLAC).
std::optional<AudioFormat> AudioFormatOf(const std::string& path);
// The extensions AudioFormatOf takes, ".wav" first.
std::vector<std::string> AudioExtensions();

// Where the first frame of a message at a time goes.
std::uint64_t FrameAt(std::int64_t microseconds);

struct RenderResult {
    enum class Status { kDone, kCancelled, kFailed };
    Status status = Status::kFailed;
    std::string error;        // for kFailed
    std::uint64_t frames = 0;  // written, tail included
};

// Renders messages through the built-in synthesizer with soundFont into path.
// progress, when given, gets the share done (0 to 1) every few thousand
// frames and cancels by answering false. The file appears only when whole:
// a cancelled or failed render leaves none, and an old file stays as it was.
RenderResult RenderAudio(const std::vector<TimedMessage>& messages, const std::string& soundFont,
                         const std::string& path, const std::function<bool(double)>& progress = {});

}  // namespace solvane
