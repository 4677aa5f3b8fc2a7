#include "support/Messages.h"

#include <atomic>
#include <iterator>

#include "platform/MessageSink.h"

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
    {1, "データが大きすぎます。"},
    {2, "メモリーが不足しています。"},
    {3, "ファイルが開けませんでした。ファイルリストを絶対パスで記述してみてください。"},
    {4, "パフォーマンスが低下しています。一旦終了して、再起動してください。"},
    {5, "ファイルが見つかりませんでした。"},
};

constexpr Entry kMidiF1Data[] = {
    {0x02000001, kTooManyTracks},
    {0x02000002, "フォーマット１ではありません。"},
    {0x02000003, "MidiF1Dataで内部エラーが発生しました。"},
    {0x02000004, "Midiファイルではないか、ファイルにマックバイナリがついています。"},
    {0x02000005, "ファイルを開けませんでした。"},
    {0x02000006, "マスターボリュームが複数設定されています。"},
    {0x02000007,
     "ドラムにプログラムチェンジが設定されています。(または、CH10以外をドラムとして使用するシステムエクスクルーシブが設定されています。)"},
    {0x02000008, "扱えない拍子記号が含まれていました。"},
};

constexpr Entry kMidiF0Data[] = {
    {0x04000001, "Format 0のファイルではありません。"},
    {0x04000002, "ファイルが開けませんでした。"},
    {0x04000003, "トラック数に誤りがあります。"},
    {0x04000004, "MIDIファイルではないか、ファイルにマックバイナリがついています。"},
    {0x04000005, "MidiF0Dataで内部エラーが発生しました。"},
};

constexpr Entry kMusicEvent[] = {
    {0x06000001, "イベントのデータサイズが大きすぎます。"},
};

constexpr Entry kMidiControler[] = {
    {0x07000001, "Midiデバイスのオープンに失敗しました。"},
    {0x07000002, "Midiデバイスのクローズに失敗しました。"},
    {0x07000003, "Midiデバイスで音色を変更できませんでした。"},
    {0x07000004, "Midiデバイスでエクスクルーシブを送れませんでした。"},
};

// "起きました" here, where every other module says "発生しました".
constexpr Entry kMidiPlayer[] = {
    {0x08000001, "分解能が大きすぎます。"},
    {0x08000002, "タイマーが使用できませんでした。"},
    {0x08000003, "設定されているテンポが遅すぎます。"},
    {0x08000004, "MidiPlayerで内部エラーが起きました。"},
};

constexpr Entry kMusicPlayer[] = {
    {0x09000001, "MusicPlayerで内部エラーが発生しました。"},
};

constexpr Entry kMidiTrackData[] = {
    {0x0D000001, "MidiTrackDataで内部エラーが発生しました。"},
    {0x0D000002, "未定義のMIDIイベントです。"},
    {0x0D000003, "チャネルに誤りがあります。"},
    {0x0D000005, "テンポに誤りがあります。"},
    {0x0D000006, "データの量が多すぎます。"},
    {0x0D000007, "MIDIファイルではないか、マックバイナリがついているファイルです。"},
    {0x0D000008,
     "ドラムで指定されている音が35(バスドラ)～81(オープントライアングル)の範囲内にありません。範囲内に調整しました。"},
};

constexpr Entry kTrackWarnings[] = {
    {0x0D000002, "未定義のMIDIイベントが含まれていました。"},
    {0x0D000009, "複数のボリュームが設定されています。"},
    {0x0D00000A, "複数のパンが設定されています。"},
    {0x0D00000B, "サイズが大きすぎるイベントが含まれています。"},
};

constexpr Entry kMidiFileLoader[] = {
    {0x17000001, "MidiFileLoaderで内部エラーが発生しました。"},
    {0x17000002, "Midiファイルではありません。"},
};

struct Table {
    std::string_view name;
    std::string_view fallback;
    const Entry* begin;
    const Entry* end;
};

template <std::size_t N>
constexpr Table MakeTable(std::string_view name, std::string_view fallback, const Entry (&entries)[N]) {
    return Table{name, fallback, entries, entries + N};
}

Table TableOf(Module module) {
    switch (module) {
        case Module::kGeneral:
            return MakeTable("General", "Generalでエラーが発生しました。", kGeneral);
        case Module::kMidiF1Data:
            return MakeTable("MidiF1Data", "MidiF1Dataでエラーが発生しました。", kMidiF1Data);
        case Module::kMidiF0Data:
            return MakeTable("MidiF0Data", "MidiF0Dataでエラーが発生しました。", kMidiF0Data);
        case Module::kMusicEvent:
            return MakeTable("MusicEvent", "MusicEventでエラーが発生しました。", kMusicEvent);
        case Module::kMidiControler:
            return MakeTable("MidiControler", "MidiControlerでエラーが発生しました。", kMidiControler);
        case Module::kMidiPlayer:
            return MakeTable("MidiPlayer", "MidiPlayerでエラーが発生しました。", kMidiPlayer);
        case Module::kMusicPlayer:
            return MakeTable("MusicPlayer", "MusicPlayerでエラーが発生しました。", kMusicPlayer);
        case Module::kMidiTrackData:
            return MakeTable("MidiTrackData", "MidiTrackDataでエラーが発生しました。", kMidiTrackData);
        case Module::kMidiFileLoader:
            return MakeTable("MidiFileLoader", "MidiFileLoaderでエラーが発生しました。", kMidiFileLoader);
    }
    return MakeTable("General", "Generalでエラーが発生しました。", kGeneral);
}

std::string_view Lookup(const Entry* begin, const Entry* end, std::uint32_t code, std::string_view fallback) {
    for (const Entry* e = begin; e != end; ++e) {
        if (e->code == code) return e->text;
    }
    return fallback;
}

}  // namespace

std::string_view ModuleName(Module module) { return TableOf(module).name; }

std::string_view ErrorMessage(Module module, std::uint32_t code) {
    const Table table = TableOf(module);
    return Lookup(table.begin, table.end, code, table.fallback);
}

std::string_view TrackWarningMessage(std::uint32_t code) {
    return Lookup(std::begin(kTrackWarnings), std::end(kTrackWarnings), code,
                  ErrorMessage(Module::kMidiTrackData, code));
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
