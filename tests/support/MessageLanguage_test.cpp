#include "support/MessageLanguage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/Messages.h"

namespace solvane {
namespace {

struct ModuleCodes {
    Module module;
    std::uint32_t number;  // the code's high byte
};

constexpr ModuleCodes kModules[] = {
    {Module::kGeneral, 0x00},    {Module::kMidiF1Data, 0x02},    {Module::kMidiF0Data, 0x04},
    {Module::kMusicEvent, 0x06}, {Module::kMidiControler, 0x07}, {Module::kMidiPlayer, 0x08},
    {Module::kMusicPlayer, 0x09}, {Module::kMidiTrackData, 0x0D}, {Module::kMidiFileLoader, 0x17},
};

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string EnglishFallback(Module module) { return "An error occurred in " + std::string(ModuleName(module)) + "."; }

// Every text a module's table lists (found by walking its code range, so a
// code added to the Japanese table without an English text fails here) has
// an English text of its own, with the same line breaks.
TEST(EnglishMessages, EveryListedCodeHasItsOwnEnglishText) {
    int listed = 0;
    for (const ModuleCodes& m : kModules) {
        const std::string_view name = ModuleName(m.module);
        const std::string_view japaneseFallback = ErrorMessage(m.module, 0x00FFFFFF);
        for (std::uint32_t low = 0; low < 0x100; ++low) {
            const std::uint32_t code = m.number << 24 | low;
            const std::string_view japanese = ErrorMessage(m.module, code);
            const std::string_view english = EnglishMessage(name, code, japanese);
            SCOPED_TRACE(std::string(name) + " " + std::to_string(code));
            ASSERT_FALSE(english.empty());
            EXPECT_TRUE(IsAscii(english));
            if (japanese == japaneseFallback) {
                EXPECT_EQ(english, EnglishFallback(m.module));
                continue;
            }
            ++listed;
            EXPECT_NE(english, EnglishFallback(m.module));
            EXPECT_EQ(std::count(english.begin(), english.end(), '\r'),
                      std::count(japanese.begin(), japanese.end(), '\r'));
        }
    }
    EXPECT_EQ(listed, 37);  // every code of the tables
}

TEST(EnglishMessages, TrackWarningsAreToldFromTheErrorOfTheSameCode) {
    for (std::uint32_t code : {0x0D000002u, 0x0D000009u, 0x0D00000Au, 0x0D00000Bu}) {
        SCOPED_TRACE(code);
        const std::string_view english = EnglishMessage("MidiTrackData", code, TrackWarningMessage(code));
        EXPECT_TRUE(IsAscii(english));
        EXPECT_NE(english, EnglishFallback(Module::kMidiTrackData));
    }
    const std::string_view error = ErrorMessage(Module::kMidiTrackData, 0x0D000002);
    EXPECT_EQ(EnglishMessage("MidiTrackData", 0x0D000002, error), "Undefined MIDI event.");
    EXPECT_EQ(EnglishMessage("MidiTrackData", 0x0D000002, TrackWarningMessage(0x0D000002)),
              "Undefined MIDI events were found.");
}

TEST(EnglishMessages, JapaneseStaysTheTextGivenAndUnknownModulesKeepTheirText) {
    for (const ModuleCodes& m : kModules) {
        for (std::uint32_t low = 0; low < 0x10; ++low) {
            const std::uint32_t code = m.number << 24 | low;
            const std::string_view japanese = ErrorMessage(m.module, code);
            EXPECT_EQ(LocalizedMessage(Language::kJapanese, ModuleName(m.module), code, japanese).data(),
                      japanese.data());
            EXPECT_EQ(LocalizedMessage(Language::kEnglish, ModuleName(m.module), code, japanese),
                      EnglishMessage(ModuleName(m.module), code, japanese));
        }
    }
    EXPECT_TRUE(EnglishMessage("MainDialog", 0, "再生中は終了できません!").empty());
    EXPECT_EQ(LocalizedMessage(Language::kEnglish, "MainDialog", 0, "再生中は終了できません!"),
              "再生中は終了できません!");
}

TEST(EnglishMessages, LanguagesAreNamedJaAndEn) {
    const struct {
        const char* name;
        bool known;
        Language language;
    } cases[] = {{"ja", true, Language::kJapanese}, {"en", true, Language::kEnglish}, {"EN", false, {}},
                 {"en_US", false, {}},                {"", false, {}},                   {"de", false, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Language language = Language::kEnglish;
        EXPECT_EQ(ParseLanguage(c.name, language), c.known);
        if (c.known) {
            EXPECT_EQ(language, c.language);
            EXPECT_EQ(LanguageName(language), c.name);
        } else {
            EXPECT_EQ(language, Language::kEnglish);
        }
    }
}

}  // namespace
}  // namespace solvane
