#include "messages/MessageLanguage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/Messages.h"

namespace solvane {
namespace {

// Every code a module's table lists (found by walking its code range, so a
// code added to the Japanese table without an English text fails here) has
// an English text of its own with the same line breaks; every other code
// gets the module's English fallback; Japanese stays the text given.
TEST(EnglishMessages, EveryListedCodeHasItsOwnEnglishTextAndJapaneseStaysAsGiven) {
    const struct {
        Module module;
        std::uint32_t number;  // the code's high byte
    } modules[] = {{Module::kGeneral, 0x00},       {Module::kMidiF1Data, 0x02},  {Module::kMidiF0Data, 0x04},
                   {Module::kMusicEvent, 0x06},    {Module::kMidiControler, 0x07}, {Module::kMidiPlayer, 0x08},
                   {Module::kMusicPlayer, 0x09},   {Module::kMidiTrackData, 0x0D}, {Module::kMidiFileLoader, 0x17}};
    int listed = 0;
    for (const auto& m : modules) {
        const std::string_view name = ModuleName(m.module);
        const std::string fallback = "An error occurred in " + std::string(name) + ".";
        for (std::uint32_t low = 0; low < 0x100; ++low) {
            const std::uint32_t code = m.number << 24 | low;
            const std::string_view japanese = ErrorMessage(m.module, code);
            const std::string_view english = EnglishMessage(name, code, japanese);
            SCOPED_TRACE(std::string(name) + " " + std::to_string(code));
            EXPECT_TRUE(std::all_of(english.begin(), english.end(), [](char c) { return c > 0 && c < 0x7F; }));
            EXPECT_EQ(LocalizedMessage(Language::kJapanese, name, code, japanese).data(), japanese.data());
            EXPECT_EQ(LocalizedMessage(Language::kEnglish, name, code, japanese), english);
            if (japanese == ErrorMessage(m.module, 0x00FFFFFF)) {
                EXPECT_EQ(english, fallback);
                continue;
            }
            ++listed;
            EXPECT_NE(english, fallback);
            EXPECT_EQ(std::count(english.begin(), english.end(), '\r'),
                      std::count(japanese.begin(), japanese.end(), '\r'));
        }
    }
    EXPECT_EQ(listed, 37);  // every code of the tables
    // A module the tables do not know keeps its text.
    EXPECT_TRUE(EnglishMessage("MainDialog", 0, "再生中は終了できません!").empty());
    EXPECT_EQ(LocalizedMessage(Language::kEnglish, "MainDialog", 0, "再生中は終了できません!"),
              "再生中は終了できません!");
}

TEST(EnglishMessages, TrackWarningsAreToldFromTheErrorOfTheSameCode) {
    for (std::uint32_t code : {0x0D000002u, 0x0D000009u, 0x0D00000Au, 0x0D00000Bu}) {
        EXPECT_NE(EnglishMessage("MidiTrackData", code, TrackWarningMessage(code)),
                  "An error occurred in MidiTrackData.");
    }
    EXPECT_EQ(EnglishMessage("MidiTrackData", 0x0D000002, ErrorMessage(Module::kMidiTrackData, 0x0D000002)),
              "Undefined MIDI event.");
    EXPECT_EQ(EnglishMessage("MidiTrackData", 0x0D000002, TrackWarningMessage(0x0D000002)),
              "Undefined MIDI events were found.");
}

TEST(EnglishMessages, LanguagesAreNamedJaAndEnOnly) {
    for (const char* name : {"ja", "en"}) {
        Language language{};
        EXPECT_TRUE(ParseLanguage(name, language));
        EXPECT_EQ(LanguageName(language), name);
    }
    for (const char* name : {"EN", "en_US", "", "de"}) {
        Language language = Language::kEnglish;
        EXPECT_FALSE(ParseLanguage(name, language));
        EXPECT_EQ(language, Language::kEnglish);
    }
}

}  // namespace
}  // namespace solvane
