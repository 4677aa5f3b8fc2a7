#include "support/Messages.h"

#include <atomic>
#include <span>

#include "platform/MessageSink.h"
#include "support/ReportCodes.h"

namespace solvane {
namespace {

struct Entry {
    std::uint32_t code;
    std::string_view text;
};

// Bare carriage returns separate the three lines, as the message box expects.
constexpr std::string_view kTooManyTracks =
    "このファイルに設定されているトラック数はこのソフトで扱える最大トラック数(16)を超えています。"
    "\r(実際に使用しているトラック数とファイルに設定されているトラック数は異なる場合があります。)"
    "\r処理を継続しますが、重大なエラーを引き起こす可能性があります。";

constexpr Entry kGeneral[] = {
    {kGeneralDataTooLarge, "データが大きすぎます。"},
    {kGeneralOutOfMemory, "メモリーが不足しています。"},
    {kGeneralCannotOpen, "ファイルが開けませんでした。ファイルリストを絶対パスで記述してみてください。"},
    {kGeneralPerformance, "パフォーマンスが低下しています。一旦終了して、再起動してください。"},
    {kGeneralNotFound, "ファイルが見つかりませんでした。"},
};

constexpr Entry kMidiF1Data[] = {
    {kF1TooManyTracks, kTooManyTracks},
    {kF1NotFormat1, "フォーマット１ではありません。"},
    {kF1InternalError, "MidiF1Dataで内部エラーが発生しました。"},
    {kF1NoHeader, "Midiファイルではないか、ファイルにマックバイナリがついています。"},
    {kF1CannotOpen, "ファイルを開けませんでした。"},
    {kF1SeveralMasterVolumes, "マスターボリュームが複数設定されています。"},
    {kF1DrumProgramChange,
     "ドラムにプログラムチェンジが設定されています。(または、CH10以外をドラムとして使用するシステムエクスクルーシブが設定されています。)"},
    {kF1UnknownTimeSignature, "扱えない拍子記号が含まれていました。"},
};

constexpr Entry kMidiF0Data[] = {
    {kSongNotFormat0, "Format 0のファイルではありません。"},
    {kSongCannotOpen, "ファイルが開けませんでした。"},
    {kSongBadTrackCount, "トラック数に誤りがあります。"},
    {kSongNoHeader, "MIDIファイルではないか、ファイルにマックバイナリがついています。"},
    {kSongInternalError, "MidiF0Dataで内部エラーが発生しました。"},
};

constexpr Entry kMusicEvent[] = {
    {kEventDataTooLarge, "イベントのデータサイズが大きすぎます。"},
};

constexpr Entry kMidiControler[] = {
    {kControlerOpenFailed, "Midiデバイスのオープンに失敗しました。"},
    {kControlerCloseFailed, "Midiデバイスのクローズに失敗しました。"},
    {kControlerProgramFailed, "Midiデバイスで音色を変更できませんでした。"},
    {kControlerExclusiveFailed, "Midiデバイスでエクスクルーシブを送れませんでした。"},
};

// "起きました" here, where every other module says "発生しました".
constexpr Entry kMidiPlayer[] = {
    {kPlayerResolutionTooFine, "分解能が大きすぎます。"},
    {kPlayerNoTimer, "タイマーが使用できませんでした。"},
    {kPlayerTempoTooSlow, "設定されているテンポが遅すぎます。"},
    {kPlayerInternalError, "MidiPlayerで内部エラーが起きました。"},
};

constexpr Entry kMusicPlayer[] = {
    {kMusicPlayerInternalError, "MusicPlayerで内部エラーが発生しました。"},
};

constexpr Entry kMidiTrackData[] = {
    {kTrackInternalError, "MidiTrackDataで内部エラーが発生しました。"},
    {kTrackUndefinedEvent, "未定義のMIDIイベントです。"},
    {kTrackBadChannel, "チャネルに誤りがあります。"},
    {kTrackBadTempo, "テンポに誤りがあります。"},
    {kTrackTooMuchData, "データの量が多すぎます。"},
    {kTrackNoChunk, "MIDIファイルではないか、マックバイナリがついているファイルです。"},
    {kTrackDrumOutOfRange,
     "ドラムで指定されている音が35(バスドラ)～81(オープントライアングル)の範囲内にありません。範囲内に調整しました。"},
};

constexpr Entry kTrackWarnings[] = {
    {kTrackUndefinedEvent, "未定義のMIDIイベントが含まれていました。"},
    {kTrackSeveralVolumes, "複数のボリュームが設定されています。"},
    {kTrackSeveralPans, "複数のパンが設定されています。"},
    {kTrackOversizedEvent, "サイズが大きすぎるイベントが含まれています。"},
};

constexpr Entry kMidiFileLoader[] = {
    {kLoaderInternalError, "MidiFileLoaderで内部エラーが発生しました。"},
    {kLoaderNotMidi, "Midiファイルではありません。"},
};

struct Table {
    std::string_view name;
    std::string_view fallback;
    std::span<const Entry> entries;
};

// In the order of Module.
constexpr Table kTables[] = {
    {"General", "Generalでエラーが発生しました。", kGeneral},
    {"MidiF1Data", "MidiF1Dataでエラーが発生しました。", kMidiF1Data},
    {"MidiF0Data", "MidiF0Dataでエラーが発生しました。", kMidiF0Data},
    {"MusicEvent", "MusicEventでエラーが発生しました。", kMusicEvent},
    {"MidiControler", "MidiControlerでエラーが発生しました。", kMidiControler},
    {"MidiPlayer", "MidiPlayerでエラーが発生しました。", kMidiPlayer},
    {"MusicPlayer", "MusicPlayerでエラーが発生しました。", kMusicPlayer},
    {"MidiTrackData", "MidiTrackDataでエラーが発生しました。", kMidiTrackData},
    {"MidiFileLoader", "MidiFileLoaderでエラーが発生しました。", kMidiFileLoader},
};

const Table& TableOf(Module module) { return kTables[static_cast<std::size_t>(module)]; }

std::string_view Lookup(std::span<const Entry> entries, std::uint32_t code, std::string_view fallback) {
    for (const Entry& e : entries) {
        if (e.code == code) return e.text;
    }
    return fallback;
}

}  // namespace

std::string_view ModuleName(Module module) { return TableOf(module).name; }

std::string_view ErrorMessage(Module module, std::uint32_t code) {
    const Table& table = TableOf(module);
    return Lookup(table.entries, code, table.fallback);
}

std::string_view TrackWarningMessage(std::uint32_t code) {
    return Lookup(kTrackWarnings, code, ErrorMessage(Module::kMidiTrackData, code));
}

void ShowTrackWarning(std::uint32_t code) {
    CurrentMessageSink().Show(ModuleName(Module::kMidiTrackData), code, TrackWarningMessage(code));
}

namespace {
std::atomic<std::uint64_t> g_errorsReported{0};  // reports come from every thread
}  // namespace

void ReportModuleError(Module module, std::uint32_t code) {
    g_errorsReported.fetch_add(1);
    CurrentMessageSink().Show(ModuleName(module), code, ErrorMessage(module, code));
}

std::uint64_t ErrorsReported() { return g_errorsReported.load(); }

}  // namespace solvane
