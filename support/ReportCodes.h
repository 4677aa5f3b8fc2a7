#pragma once
// Every report code of the program, named once: the modules raise them and
// the message tables give their texts. The module number is the high byte,
// the error number within the module the low 24 bits; General's codes are
// the plain numbers. Code 0 shows a module's fallback text.

#include <cstdint>

namespace solvane {

// General
inline constexpr std::uint32_t kGeneralFallback = 0;  // the sequencer's zero divisor
inline constexpr std::uint32_t kGeneralDataTooLarge = 1;
inline constexpr std::uint32_t kGeneralOutOfMemory = 2;
inline constexpr std::uint32_t kGeneralCannotOpen = 3;
inline constexpr std::uint32_t kGeneralPerformance = 4;
inline constexpr std::uint32_t kGeneralNotFound = 5;
// MidiF1Data
inline constexpr std::uint32_t kF1TooManyTracks = 0x02000001;
inline constexpr std::uint32_t kF1NotFormat1 = 0x02000002;
inline constexpr std::uint32_t kF1InternalError = 0x02000003;
inline constexpr std::uint32_t kF1NoHeader = 0x02000004;
inline constexpr std::uint32_t kF1CannotOpen = 0x02000005;
inline constexpr std::uint32_t kF1SeveralMasterVolumes = 0x02000006;
inline constexpr std::uint32_t kF1DrumProgramChange = 0x02000007;
inline constexpr std::uint32_t kF1UnknownTimeSignature = 0x02000008;
// MidiF0Data
inline constexpr std::uint32_t kSongFallback = 0;  // reversing a track without an End of Track
inline constexpr std::uint32_t kSongNotFormat0 = 0x04000001;
inline constexpr std::uint32_t kSongCannotOpen = 0x04000002;
inline constexpr std::uint32_t kSongBadTrackCount = 0x04000003;
inline constexpr std::uint32_t kSongNoHeader = 0x04000004;
inline constexpr std::uint32_t kSongInternalError = 0x04000005;
// MusicEvent
inline constexpr std::uint32_t kEventDataTooLarge = 0x06000001;
// MidiControler
inline constexpr std::uint32_t kControlerOpenFailed = 0x07000001;
inline constexpr std::uint32_t kControlerCloseFailed = 0x07000002;
inline constexpr std::uint32_t kControlerProgramFailed = 0x07000003;
inline constexpr std::uint32_t kControlerExclusiveFailed = 0x07000004;
// MidiPlayer
inline constexpr std::uint32_t kPlayerResolutionTooFine = 0x08000001;
inline constexpr std::uint32_t kPlayerNoTimer = 0x08000002;
inline constexpr std::uint32_t kPlayerTempoTooSlow = 0x08000003;
inline constexpr std::uint32_t kPlayerInternalError = 0x08000004;
// MusicPlayer
inline constexpr std::uint32_t kMusicPlayerInternalError = 0x09000001;
// MidiTrackData; the last four are the once-per-track warnings (0x0D000002
// is both an error and a warning, with a text for each).
inline constexpr std::uint32_t kTrackInternalError = 0x0D000001;
inline constexpr std::uint32_t kTrackUndefinedEvent = 0x0D000002;
inline constexpr std::uint32_t kTrackBadChannel = 0x0D000003;
inline constexpr std::uint32_t kTrackBadTempo = 0x0D000005;
inline constexpr std::uint32_t kTrackTooMuchData = 0x0D000006;
inline constexpr std::uint32_t kTrackNoChunk = 0x0D000007;
inline constexpr std::uint32_t kTrackDrumOutOfRange = 0x0D000008;
inline constexpr std::uint32_t kTrackSeveralVolumes = 0x0D000009;
inline constexpr std::uint32_t kTrackSeveralPans = 0x0D00000A;
inline constexpr std::uint32_t kTrackOversizedEvent = 0x0D00000B;
// MidiFileLoader
inline constexpr std::uint32_t kLoaderInternalError = 0x17000001;
inline constexpr std::uint32_t kLoaderNotMidi = 0x17000002;

}  // namespace solvane
