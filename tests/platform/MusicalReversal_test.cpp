// The musical reversal measured by the player's own walk: the reversed piece
// lasts as long as the input, every note keeps its length, and every note
// sounds with the pedals, bend and volume it had. Generated pieces and every
// valid file of the corpus beside the repository.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "song/Transformation.h"
#include "tests/support/PlayedNotes.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

namespace fs = std::filesystem;
using test::ChannelState;
using test::Played;
using test::PlayedNote;

constexpr Reversals kMirror{true, false, false};
constexpr Reversals kMusical{true, false, true};

// A piece in note form from events at absolute times.
std::unique_ptr<MidiF0Data> Piece(std::vector<std::pair<std::int64_t, MusicEvent>> timed, std::int32_t division) {
    std::stable_sort(timed.begin(), timed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<MusicEvent> events;
    std::int64_t previous = 0;
    for (auto& [time, event] : timed) {
        event.delta = static_cast<std::int32_t>(time - previous);
        previous = time;
        events.push_back(std::move(event));
    }
    events.push_back(test::EndOfTrack(0));
    return test::SongOf(kStateNoteForm, std::move(events), division);
}

// A piece of notes on three channels (the drums among them) with tempo
// changes, sustain and soft pedal, bends and volume swells, from a seed.
std::unique_ptr<MidiF0Data> RandomPiece(unsigned seed) {
    std::mt19937 random(seed);
    const auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const std::int32_t division = std::vector<std::int32_t>{96, 192, 480, 384, 48}[seed % 5];
    const std::int64_t step = division / 4;
    std::vector<std::pair<std::int64_t, MusicEvent>> timed;
    const int steps = pick(40, 160);
    if (seed % 3 != 0) timed.emplace_back(0, test::Tempo(0, pick(300000, 1200000)));
    for (int s = 0; s < steps; ++s) {
        const std::int64_t t = s * step;
        if (pick(0, 15) == 0) timed.emplace_back(t, test::Tempo(0, pick(250000, 1500000)));
        for (const std::int32_t channel : {0, 1, 9}) {
            if (pick(0, 2) != 0) continue;
            // Keys apart by channel and time, so that no two notes of one key overlap.
            const std::int32_t key = 30 + channel * 10 + (s % 8);
            timed.emplace_back(t, test::NoteEvent(0, key, static_cast<std::int32_t>(step * pick(1, 6) - pick(0, 2)),
                                                  channel, pick(1, 127)));
        }
        if (pick(0, 5) == 0) timed.emplace_back(t, test::Control(0, 64, pick(0, 1) * 127, 0));
        if (pick(0, 9) == 0) timed.emplace_back(t + step / 2, test::Control(0, 67, pick(0, 127), 1));
        if (pick(0, 4) == 0) timed.emplace_back(t, test::PitchBend(0, pick(0, 127), pick(0, 127), 1));
        if (pick(0, 4) == 0) timed.emplace_back(t + 1, test::Control(0, 7, pick(20, 127), pick(0, 1)));
    }
    return Piece(std::move(timed), division);
}

// The notes by channel and key, each key's in time order, and the keys on
// which two notes overlap: which note-off ends which of those is a guess.
using Key = std::pair<std::int32_t, std::int32_t>;
struct ByKey {
    std::map<Key, std::vector<PlayedNote>> notes;
    std::set<Key> mixed;
};
ByKey Separable(const Played& played) {
    ByKey keys;
    for (const PlayedNote& n : played.notes) {
        keys.notes[{n.channel, n.key}].push_back(n);
        if (n.overlapped) keys.mixed.insert({n.channel, n.key});
    }
    return keys;
}

// Each note of actual is the note of expected at the same place, within
// tolerance microseconds, with the same velocity and channel states (but on
// the channels in unkept). Returns how many notes were compared.
std::size_t ExpectSameNotes(const ByKey& expected, const ByKey& actual, std::int64_t tolerance, const std::string& what,
                            const std::set<std::int32_t>& unkept) {
    std::size_t compared = 0;
    for (const auto& [key, notes] : expected.notes) {
        if (expected.mixed.count(key) != 0 || actual.mixed.count(key) != 0) continue;
        const auto found = actual.notes.find(key);
        const std::vector<PlayedNote> none;
        const std::vector<PlayedNote>& others = found == actual.notes.end() ? none : found->second;
        if (notes.size() != others.size()) {
            ADD_FAILURE() << what << ": c" << key.first << " k" << key.second << " has " << others.size()
                          << " notes instead of " << notes.size();
            continue;
        }
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const PlayedNote& e = notes[i];
            const PlayedNote& a = others[i];
            const bool same = std::abs(a.start - e.start) <= tolerance && std::abs(a.length - e.length) <= tolerance &&
                              a.velocity == e.velocity &&
                              (unkept.count(key.first) != 0 || (a.atStart == e.atStart && a.atEnd == e.atEnd));
            if (!same) {
                ADD_FAILURE() << what << " (within " << tolerance << " us):\n  expected " << e << "\n  actual   " << a;
                return compared;
            }
            ++compared;
        }
    }
    return compared;
}

// The input's notes as the reversed piece should play them: each ends where
// the mirror of its start is, and starts with the state it ended with.
ByKey Mirrored(const Played& played) {
    ByKey keys = Separable(played);
    for (auto& [key, notes] : keys.notes) {
        for (PlayedNote& n : notes) {
            n.start = played.span - (n.start + n.length);
            std::swap(n.atStart, n.atEnd);
        }
        std::reverse(notes.begin(), notes.end());
    }
    return keys;
}

struct Measured {
    std::int64_t spanDifference = 0;  // reversed less input, microseconds
    std::size_t notes = 0;            // notes compared
};

// Every check of the musical reversal on one piece: its span, its notes
// mirrored, and its notes after a second reversal.
Measured CheckMusical(const MidiF0Data& loaded, const std::string& what) {
    const Played input = test::PlayedOf(*PlayableCopy(loaded, {}));
    // One tick; and where notes of one key overlap, the mirror pairs their
    // note-offs otherwise (each with the nearest note-on), so each such note
    // can end elsewhere and change the rounding of the waits around it by a
    // millisecond.
    const auto overlapped = std::count_if(input.notes.begin(), input.notes.end(),
                                          [](const PlayedNote& n) { return n.overlapped; });
    const std::int64_t tick = test::SlowestTick(loaded) + 1000 * overlapped;
    const auto reversed = PlayableCopy(loaded, kMusical);
    const Played backwards = test::PlayedOf(*reversed);
    const Played twice = test::PlayedOf(*PlayableCopy(*reversed, kMusical));
    Measured m;
    m.spanDifference = backwards.span - input.span;
    EXPECT_LE(std::abs(m.spanDifference), tick) << what << ": spans " << input.span << " and " << backwards.span;
    // A Reset All Controllers stays at its mirrored moment, where it resets
    // other passages than it did: those channels' states are not kept.
    m.notes = ExpectSameNotes(Mirrored(input), Separable(backwards), tick, what + " reversed", input.resetChannels);
    ExpectSameNotes(Separable(input), Separable(twice), tick, what + " reversed twice", input.resetChannels);
    return m;
}

class MusicalReversal : public testing::TestWithParam<unsigned> {};

TEST_P(MusicalReversal, KeepsTheDurationNotesAndTheirStatesOfAGeneratedPiece) {
    test::RecordingSink sink;
    const auto piece = RandomPiece(GetParam());
    const Measured m = CheckMusical(*piece, "seed " + std::to_string(GetParam()));
    EXPECT_GT(m.notes, 10u);
}

INSTANTIATE_TEST_SUITE_P(Seeds, MusicalReversal, testing::Range(1u, 41u));

// The measurement tells the two reversals apart: a piece with one tempo at
// its start keeps its length only with the option.
TEST(MusicalReversalMeasure, TheMirrorAloneLosesTheOpeningTempo) {
    std::vector<std::pair<std::int64_t, MusicEvent>> timed;
    timed.emplace_back(0, test::Tempo(0, 600000));
    for (int i = 0; i < 8; ++i) timed.emplace_back(i * 96, test::NoteEvent(0, 60 + i, 96));
    const auto piece = Piece(std::move(timed), 96);
    const std::int64_t input = test::PlayedOf(*PlayableCopy(*piece, {})).span;
    EXPECT_EQ(input, 8 * 600000);
    EXPECT_EQ(test::PlayedOf(*PlayableCopy(*piece, kMusical)).span, input);
    EXPECT_EQ(test::PlayedOf(*PlayableCopy(*piece, kMirror)).span, 8 * 250000);  // the player's 240 a minute
}

// "max x ms, median y ms" of the sizes of differences (microseconds).
std::string Summary(std::vector<std::int64_t> differences) {
    for (std::int64_t& d : differences) d = std::abs(d);
    std::sort(differences.begin(), differences.end());
    const auto ms = [](std::int64_t us) { return std::to_string(us / 1000) + "." + std::to_string(us % 1000 / 100); };
    return "max " + ms(differences.back()) + " ms, median " + ms(differences[differences.size() / 2]) + " ms";
}

// Also prints the figures scripts/musical-spans.sh shows.
TEST(MusicalReversalMeasure, EveryValidCorpusFile) {
    const fs::path corpus = test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the repository";
    test::RecordingSink sink;
    std::vector<std::int64_t> differences;
    std::vector<std::int64_t> mirrorOnly;
    std::vector<std::int64_t> musicalAsLoaded;
    std::vector<std::int64_t> mirrorAsLoaded;
    std::string outliers;
    std::size_t skipped = 0;
    std::size_t refused = 0;
    for (const fs::path& file : test::FilesUnder(corpus / "valid")) {
        const auto loader = test::LoadAsTheDialogDoes(file.string());
        if (!loader->song) continue;
        // Not checked: a piece the mirror refuses (its list does not end
        // with an End of Track), which is played and saved unreversed.
        if (const auto copy = TransformedCopy(*loader->song, {}); copy->track->events.empty() ||
                                                                  !copy->track->events.back().IsEndOfTrack()) {
            ++refused;
            continue;
        }
        // Checked at the play's 96 ticks a quarter, the play's own first
        // step: rescaling, the play rounds each note's length apart from its
        // start, so at other divisions a note's end can land a tick off the
        // mirror of its start and the waits around it round differently
        // (a few milliseconds over a piece; the script's figures include it).
        auto song = std::make_unique<MidiF0Data>(*loader->song);
        song->ChangeDivision(96);
        // Not checked: a piece that plays no note, and one the player
        // stalls on (its first tempo too fast for the timer): both have no
        // duration to compare.
        const Played input = test::PlayedOf(*PlayableCopy(*song, {}));
        if (input.notes.empty()) {
            ++skipped;
            continue;
        }
        differences.push_back(CheckMusical(*song, fs::relative(file, corpus).string()).spanDifference);
        mirrorOnly.push_back(test::PlayedOf(*PlayableCopy(*song, kMirror)).span - input.span);
        // The same as the file is played, rounding of note lengths and all.
        const std::int64_t asLoaded = test::PlayedOf(*PlayableCopy(*loader->song, {})).span;
        musicalAsLoaded.push_back(test::PlayedOf(*PlayableCopy(*loader->song, kMusical)).span - asLoaded);
        if (std::abs(musicalAsLoaded.back()) > 100'000) {
            outliers += "  " + fs::relative(file, corpus).string() + " (division " +
                        std::to_string(loader->song->division) + "): " +
                        std::to_string(musicalAsLoaded.back() / 1000) + " ms with --musical\n";
        }
        mirrorAsLoaded.push_back(test::PlayedOf(*PlayableCopy(*loader->song, kMirror)).span - asLoaded);
    }
    ASSERT_FALSE(differences.empty());
    std::cout << "span difference, reversed against input, first note to last, over " << differences.size()
              << " valid corpus files at 96 ticks a quarter (" << skipped << " without notes and " << refused
              << " the mirror refuses left out):\n"
              << "  with --musical:    " << Summary(differences) << "\n"
              << "  without --musical: " << Summary(mirrorOnly) << "\n"
              << "the same files at their own division, as they play:\n"
              << "  with --musical:    " << Summary(musicalAsLoaded) << "\n"
              << "  without --musical: " << Summary(mirrorAsLoaded) << "\n"
              << outliers;
}

}  // namespace
}  // namespace solvane
