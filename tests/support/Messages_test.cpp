#include "support/Messages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "support/General.h"
#include "tests/support/RecordingSink.h"
#include "track/MidiTrackData.h"
#include "track/MusicEvent.h"

namespace solvane {
namespace {

using test::RecordingSink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Message {
    Module module;
    const char* name;
    std::uint32_t code;
    const char* text;
};

const Message kMessages[] = {
    {Module::kGeneral, "General", 1, "データが大きすぎます。"},
    {Module::kGeneral, "General", 2, "メモリーが不足しています。"},
    {Module::kGeneral, "General", 3, "ファイルが開けませんでした。ファイルリストを絶対パスで記述してみてください。"},
    {Module::kGeneral, "General", 4, "パフォーマンスが低下しています。一旦終了して、再起動してください。"},
    {Module::kGeneral, "General", 5, "ファイルが見つかりませんでした。"},
    {Module::kMidiF1Data, "MidiF1Data", 0x02000002, "フォーマット１ではありません。"},
    {Module::kMidiF1Data, "MidiF1Data", 0x02000003, "MidiF1Dataで内部エラーが発生しました。"},
    {Module::kMidiF1Data, "MidiF1Data", 0x02000004, "Midiファイルではないか、ファイルにマックバイナリがついています。"},
    {Module::kMidiF1Data, "MidiF1Data", 0x02000005, "ファイルを開けませんでした。"},
    {Module::kMidiF1Data, "MidiF1Data", 0x02000006, "マスターボリュームが複数設定されています。"},
    {Module::kMidiF1Data, "MidiF1Data", 0x02000007,
     "ドラムにプログラムチェンジが設定されています。(または、CH10以外をドラムとして使用するシステムエクスクルーシブが設定されています。)"},
    {Module::kMidiF1Data, "MidiF1Data", 0x02000008, "扱えない拍子記号が含まれていました。"},
    {Module::kMidiF0Data, "MidiF0Data", 0x04000001, "Format 0のファイルではありません。"},
    {Module::kMidiF0Data, "MidiF0Data", 0x04000002, "ファイルが開けませんでした。"},
    {Module::kMidiF0Data, "MidiF0Data", 0x04000003, "トラック数に誤りがあります。"},
    {Module::kMidiF0Data, "MidiF0Data", 0x04000004, "MIDIファイルではないか、ファイルにマックバイナリがついています。"},
    {Module::kMidiF0Data, "MidiF0Data", 0x04000005, "MidiF0Dataで内部エラーが発生しました。"},
    {Module::kMusicEvent, "MusicEvent", 0x06000001, "イベントのデータサイズが大きすぎます。"},
    {Module::kMidiControler, "MidiControler", 0x07000001, "Midiデバイスのオープンに失敗しました。"},
    {Module::kMidiControler, "MidiControler", 0x07000002, "Midiデバイスのクローズに失敗しました。"},
    {Module::kMidiControler, "MidiControler", 0x07000003, "Midiデバイスで音色を変更できませんでした。"},
    {Module::kMidiControler, "MidiControler", 0x07000004, "Midiデバイスでエクスクルーシブを送れませんでした。"},
    {Module::kMidiPlayer, "MidiPlayer", 0x08000001, "分解能が大きすぎます。"},
    {Module::kMidiPlayer, "MidiPlayer", 0x08000002, "タイマーが使用できませんでした。"},
    {Module::kMidiPlayer, "MidiPlayer", 0x08000003, "設定されているテンポが遅すぎます。"},
    {Module::kMidiPlayer, "MidiPlayer", 0x08000004, "MidiPlayerで内部エラーが起きました。"},
    {Module::kMusicPlayer, "MusicPlayer", 0x09000001, "MusicPlayerで内部エラーが発生しました。"},
    {Module::kMidiTrackData, "MidiTrackData", 0x0D000001, "MidiTrackDataで内部エラーが発生しました。"},
    {Module::kMidiTrackData, "MidiTrackData", 0x0D000002, "未定義のMIDIイベントです。"},
    {Module::kMidiTrackData, "MidiTrackData", 0x0D000003, "チャネルに誤りがあります。"},
    {Module::kMidiTrackData, "MidiTrackData", 0x0D000005, "テンポに誤りがあります。"},
    {Module::kMidiTrackData, "MidiTrackData", 0x0D000006, "データの量が多すぎます。"},
    {Module::kMidiTrackData, "MidiTrackData", 0x0D000007,
     "MIDIファイルではないか、マックバイナリがついているファイルです。"},
    {Module::kMidiTrackData, "MidiTrackData", 0x0D000008,
     "ドラムで指定されている音が35(バスドラ)～81(オープントライアングル)の範囲内にありません。範囲内に調整しました。"},
    {Module::kMidiFileLoader, "MidiFileLoader", 0x17000001, "MidiFileLoaderで内部エラーが発生しました。"},
    {Module::kMidiFileLoader, "MidiFileLoader", 0x17000002, "Midiファイルではありません。"},
};

void ExpectOneReport(const RecordingSink& sink, const std::string& module, std::uint32_t code, const std::string& text) {
    const auto reports = sink.reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].module, module);
    EXPECT_EQ(reports[0].code, code);
    EXPECT_EQ(reports[0].text, text);
}

TEST(ErrorReporting, EveryListedCodeShowsItsModulesTextOnce) {
    for (const Message& m : kMessages) {
        SCOPED_TRACE(m.code);
        RecordingSink sink;
        ReportModuleError(m.module, m.code);
        ExpectOneReport(sink, m.name, m.code, m.text);
    }
}

TEST(ErrorReporting, CodeZeroAndUnlistedCodesShowTheModuleFallback) {
    struct Unlisted {
        Module module;
        const char* name;
        std::vector<std::uint32_t> codes;
    };
    // Besides 0: the number after the last one, a gap, a warning-only code and
    // a code that belongs to another module.
    const Unlisted cases[] = {
        {Module::kGeneral, "General", {0, 6, 0x0D000001}},
        {Module::kMidiF1Data, "MidiF1Data", {0, 0x02000009, 0x04000005}},
        {Module::kMidiF0Data, "MidiF0Data", {0, 0x04000006, 0x02000003}},
        {Module::kMusicEvent, "MusicEvent", {0, 0x06000002, 1}},
        {Module::kMidiControler, "MidiControler", {0, 0x07000005, 0x08000001}},
        {Module::kMidiPlayer, "MidiPlayer", {0, 0x08000005, 0x07000001}},
        {Module::kMusicPlayer, "MusicPlayer", {0, 0x09000002, 0x0D000001}},
        {Module::kMidiTrackData, "MidiTrackData", {0, 0x0D000004, 0x0D000009, 0x0D00000A, 0x0D00000B, 0x0D00000C}},
        {Module::kMidiFileLoader, "MidiFileLoader", {0, 0x17000003, 0x04000001}},
    };
    for (const Unlisted& u : cases) {
        for (std::uint32_t code : u.codes) {
            SCOPED_TRACE(std::string(u.name) + " " + std::to_string(code));
            RecordingSink sink;
            ReportModuleError(u.module, code);
            ExpectOneReport(sink, u.name, code, std::string(u.name) + "でエラーが発生しました。");
        }
    }
}

TEST(ErrorReporting, TooManyTracksIsThreeLinesSeparatedByBareCarriageReturns) {
    RecordingSink sink;
    ReportModuleError(Module::kMidiF1Data, 0x02000001);
    ASSERT_EQ(sink.texts().size(), 1u);
    const std::string text = sink.texts()[0];

    EXPECT_EQ(text.find('\n'), std::string::npos);
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t cr; (cr = text.find('\r', from)) != std::string::npos; from = cr + 1) {
        lines.push_back(text.substr(from, cr - from));
    }
    lines.push_back(text.substr(from));
    EXPECT_THAT(lines, ElementsAre("このファイルに設定されているトラック数はこのソフトで扱える最大トラック数(16)を超えています。",
                                   "(実際に使用しているトラック数とファイルに設定されているトラック数は異なる場合があります。)",
                                   "処理を継続しますが、重大なエラーを引き起こす可能性があります。"));
}

TEST(ErrorReporting, OnlyMidiPlayersInternalErrorSaysOkimashita) {
    EXPECT_EQ(ErrorMessage(Module::kMidiPlayer, 0x08000004), "MidiPlayerで内部エラーが起きました。");
    EXPECT_EQ(ErrorMessage(Module::kMidiPlayer, 0x08000009), "MidiPlayerでエラーが発生しました。");
    EXPECT_EQ(ErrorMessage(Module::kMusicPlayer, 0x09000001), "MusicPlayerで内部エラーが発生しました。");
}

TEST(ErrorReporting, EachModuleClassReportsUnderItsOwnName) {
    RecordingSink sink;
    ReportGeneralError(kGeneralCannotOpen);
    MusicEvent().ReportError(kEventDataTooLarge);
    MidiTrackData().ReportError(kTrackBadTempo);
    MidiF0Data(kStateNoteForm).ReportError(kSongInternalError);

    const auto reports = sink.reports();
    ASSERT_EQ(reports.size(), 4u);
    EXPECT_EQ(reports[0].module, "General");
    EXPECT_EQ(reports[1].module, "MusicEvent");
    EXPECT_EQ(reports[1].text, "イベントのデータサイズが大きすぎます。");
    EXPECT_EQ(reports[2].module, "MidiTrackData");
    EXPECT_EQ(reports[2].text, "テンポに誤りがあります。");
    EXPECT_EQ(reports[3].module, "MidiF0Data");
    EXPECT_EQ(reports[3].code, 0x04000005u);
}

TEST(TrackWarnings, EachKindIsShownOnceUntilCodeZeroClearsAllFour) {
    const Message warnings[] = {
        {Module::kMidiTrackData, "MidiTrackData", 0x0D000002, "未定義のMIDIイベントが含まれていました。"},
        {Module::kMidiTrackData, "MidiTrackData", 0x0D000009, "複数のボリュームが設定されています。"},
        {Module::kMidiTrackData, "MidiTrackData", 0x0D00000A, "複数のパンが設定されています。"},
        {Module::kMidiTrackData, "MidiTrackData", 0x0D00000B, "サイズが大きすぎるイベントが含まれています。"},
    };
    RecordingSink sink;
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        sink.Clear();
        // Interleaved, so one flag cannot stand in for another.
        for (const Message& w : warnings) MidiTrackData::ReportTrackWarning(w.code);
        for (const Message& w : warnings) MidiTrackData::ReportTrackWarning(w.code);
        const auto reports = sink.reports();
        ASSERT_EQ(reports.size(), 4u);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(reports[i].module, "MidiTrackData");
            EXPECT_EQ(reports[i].code, warnings[i].code);
            EXPECT_EQ(reports[i].text, warnings[i].text);
        }
        sink.Clear();
        MidiTrackData::ReportTrackWarning(0);
        EXPECT_THAT(sink.codes(), IsEmpty());  // clearing shows nothing
    }
}

TEST(TrackWarnings, UndefinedEventHasOneTextAsErrorAndAnotherAsWarning) {
    RecordingSink sink;
    MidiTrackData().ReportError(kTrackUndefinedEvent);
    MidiTrackData::ReportTrackWarning(kTrackUndefinedEvent);
    MidiTrackData().ReportError(kTrackUndefinedEvent);  // errors have no once-only flag

    EXPECT_THAT(sink.codes(), ElementsAre(0x0D000002u, 0x0D000002u, 0x0D000002u));
    EXPECT_THAT(sink.texts(), ElementsAre("未定義のMIDIイベントです。", "未定義のMIDIイベントが含まれていました。",
                                          "未定義のMIDIイベントです。"));
}

}  // namespace
}  // namespace solvane
