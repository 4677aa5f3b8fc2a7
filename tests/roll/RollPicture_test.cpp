#include "roll/RollPicture.h"

#include <QImage>
#include <QPainter>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "roll/RollLayout.h"
#include "song/Transformation.h"
#include "tests/support/SongProbe.h"

namespace solvane {
namespace {

using test::EndOfTrack;
using test::NoteEvent;
using test::SongOf;

struct PieceNote {
    int tick = 0;
    int key = 60;
    int duration = 48;
    int channel = 0;
    int velocity = 100;
};

// A song in note form, as a load leaves it, ending where its last note ends.
std::unique_ptr<MidiF0Data> Piece(std::vector<PieceNote> notes) {
    std::stable_sort(notes.begin(), notes.end(), [](const PieceNote& a, const PieceNote& b) { return a.tick < b.tick; });
    std::vector<MusicEvent> events;
    int previous = 0;
    int end = 0;
    for (const PieceNote& n : notes) {
        events.push_back(NoteEvent(n.tick - previous, n.key, n.duration, n.channel, n.velocity));
        previous = n.tick;
        end = std::max(end, n.tick + n.duration);
    }
    events.push_back(EndOfTrack(end - previous));
    return SongOf(kStateNoteForm, std::move(events));
}

// These pieces have nothing before their first note (no pre-roll pause) and
// no tempo: 240 a minute at 96 ticks, whose timer step is 2 ms. Every tick
// is a multiple of 48, 125 ms, so nothing rounds.
std::int64_t PlayedAt(int tick) { return 2000 + std::int64_t{tick} * 125000 / 48; }

// 125 ms are 10 pixels, each key 6 rows of pixels.
constexpr int kLow = 36;
constexpr int kHigh = 83;
constexpr int kRow = 6;
constexpr double kPixelsPerSecond = 80;

RollGeometry Fixed() {
    return RollGeometry(QSize(RollGeometry::kKeyboardWidth + 400, RollGeometry::kRulerHeight + (kHigh - kLow + 1) * kRow),
                        0, kPixelsPerSecond, kLow, kHigh);
}

// Where the window's mapping must put a moment and a key, worked out here
// on its own so that a fault in the mapping shows.
int ExpectedX(std::int64_t microseconds) {
    return RollGeometry::kKeyboardWidth + static_cast<int>((microseconds * 80 + 500000) / 1000000);
}
int ExpectedTop(int key) { return RollGeometry::kRulerHeight + (kHigh - key) * kRow; }

QImage Draw(const RollLayout& layout, const RollLayout* ghost = nullptr) {
    QImage image(Fixed().Size(), QImage::Format_RGB32);
    QPainter painter(&image);
    PaintRoll(painter, Fixed(), layout, ghost);
    return image;
}

RollLayout Roll(const MidiF0Data& loaded, Reversals reversals) { return LayOutRoll(*PlayableCopy(loaded, reversals)); }

// Channel 0 a tune over 60..67, channel 1 one long quiet note, drums on channel 9; 192 ticks long.
const std::vector<PieceNote> kBand = {
    {0, 60, 48, 0, 100}, {48, 64, 96, 0, 100}, {144, 67, 48, 0, 100}, {0, 48, 192, 1, 40},
    {0, 36, 48, 9, 120}, {96, 38, 48, 9, 90},
};

struct Case {
    std::string name;
    Reversals reversals;
    std::vector<PieceNote> drawn;   // what the picture must show
    std::vector<PieceNote> absent;  // where it must no longer
};

// Inverted about 120 on channel 0 (twice 60, the multiple of 12 below its
// middle), channel 1 about 96 (its one key); mirrored in 192 ticks.
const std::vector<Case> kCases = {
    {"plain", {false, false}, kBand, {}},
    {"vertical",
     {false, true},
     {{0, 60, 48, 0, 100}, {48, 56, 96, 0, 100}, {144, 53, 48, 0, 100}, {0, 48, 192, 1, 40}, {0, 36, 48, 9, 120},
      {96, 38, 48, 9, 90}},
     {{48, 64, 96, 0, 100}, {144, 67, 48, 0, 100}}},
    {"horizontal",
     {true, false},
     {{144, 60, 48, 0, 100}, {48, 64, 96, 0, 100}, {0, 67, 48, 0, 100}, {0, 48, 192, 1, 40}, {144, 36, 48, 9, 120},
      {48, 38, 48, 9, 90}},
     {{0, 60, 48, 0, 100}, {144, 67, 48, 0, 100}}},
    {"both",
     {true, true},
     {{144, 60, 48, 0, 100}, {48, 56, 96, 0, 100}, {0, 53, 48, 0, 100}, {0, 48, 192, 1, 40}, {144, 36, 48, 9, 120},
      {48, 38, 48, 9, 90}},
     {{0, 67, 48, 0, 100}, {48, 64, 96, 0, 100}}},
};

TEST(RollPicture, EachNoteIsDrawnInItsChannelsColourWhereItsTimeAndKeyMapForEveryChoiceOfBoxes) {
    const auto loaded = Piece(kBand);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const RollLayout layout = Roll(*loaded, c.reversals);
        const QImage image = Draw(layout);
        for (const PieceNote& n : c.drawn) {
            SCOPED_TRACE("key " + std::to_string(n.key) + " at " + std::to_string(n.tick));
            const int x0 = ExpectedX(PlayedAt(n.tick));
            const int y = ExpectedTop(n.key) + kRow / 2;
            const QRgb colour = NoteColour(n.channel, n.velocity).rgb();
            if (n.channel == kDrumChannel) {
                // A hit: a short mark from its start, whatever its length.
                EXPECT_EQ(image.pixel(x0 + 1, y), colour);
                EXPECT_NE(image.pixel(ExpectedX(PlayedAt(n.tick + n.duration)) - 1, y), colour);
                continue;
            }
            const int x1 = ExpectedX(PlayedAt(n.tick + n.duration));
            EXPECT_EQ(image.pixel(x0, y), colour);
            EXPECT_EQ(image.pixel((x0 + x1) / 2, y), colour);
            EXPECT_EQ(image.pixel(x1 - 1, y), colour);
            EXPECT_NE(image.pixel(x1, y), colour);
            EXPECT_NE(image.pixel(x0, ExpectedTop(n.key + 1) + kRow / 2), colour);
        }
        for (const PieceNote& n : c.absent) {
            const int x = (ExpectedX(PlayedAt(n.tick)) + ExpectedX(PlayedAt(n.tick + n.duration))) / 2;
            EXPECT_NE(image.pixel(x, ExpectedTop(n.key) + kRow / 2), NoteColour(n.channel, n.velocity).rgb())
                << "key " << n.key << " at " << n.tick << " is still drawn";
        }
    }
}

// The channel whose colour a pixel has among those of the piece's notes; -1 for none.
int ChannelAt(const QImage& image, int x, int y, const std::vector<PieceNote>& notes) {
    for (const PieceNote& n : notes) {
        if (image.pixel(x, y) == NoteColour(n.channel, n.velocity).rgb()) return n.channel;
    }
    return -1;
}

TEST(RollPicture, TheHorizontalReverseOfAPieceWithoutLeadingSilenceIsTheMirrorImageOfThePlainPicture) {
    const std::vector<PieceNote> tune = {{0, 60, 48, 0, 100},  {0, 64, 144, 1, 70}, {48, 62, 48, 0, 100},
                                         {96, 71, 96, 0, 127}, {144, 50, 192, 2, 30}, {240, 59, 96, 0, 100}};
    const auto loaded = Piece(tune);
    const RollLayout plain = Roll(*loaded, {false, false});
    const RollLayout mirrored = Roll(*loaded, {true, false});
    const QImage before = Draw(plain);
    const QImage after = Draw(mirrored);
    const int left = ExpectedX(PlayedAt(0));
    const int right = ExpectedX(PlayedAt(336));
    const QRect area = Fixed().NoteArea();
    int notePixels = 0;
    for (int x = left; x < right; ++x) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            const int shown = ChannelAt(before, x, y, tune);
            ASSERT_EQ(ChannelAt(after, left + right - 1 - x, y, tune), shown) << "at " << x << "," << y;
            if (shown >= 0) ++notePixels;
        }
    }
    EXPECT_GT(notePixels, 300);
    EXPECT_NE(before, after);
}

TEST(RollPicture, TheVerticalReverseLeavesTheDrumHitsAsTheyWere) {
    const auto loaded = Piece(kBand);
    const QImage plain = Draw(Roll(*loaded, {false, false}));
    const QImage inverted = Draw(Roll(*loaded, {false, true}));
    const std::vector<PieceNote> drums = {kBand[4], kBand[5]};
    int drumPixels = 0;
    for (int y = 0; y < plain.height(); ++y) {
        for (int x = 0; x < plain.width(); ++x) {
            const bool before = ChannelAt(plain, x, y, drums) >= 0;
            ASSERT_EQ(ChannelAt(inverted, x, y, drums) >= 0, before) << "at " << x << "," << y;
            drumPixels += before ? 1 : 0;
        }
    }
    EXPECT_GT(drumPixels, 10);
    EXPECT_NE(plain, inverted);  // the tune itself moved
}

TEST(RollPicture, TheGhostShowsTheLoadedPieceWhereTheResultLeftItAndTheResultCoversIt) {
    const auto loaded = Piece(kBand);
    const RollLayout plain = Roll(*loaded, {false, false});
    const RollLayout inverted = Roll(*loaded, {false, true});
    const QImage alone = Draw(inverted);
    const QImage withGhost = Draw(inverted, &plain);
    const int y = ExpectedTop(67) + kRow / 2;  // the last note, moved to 53
    const int x = ExpectedX(PlayedAt(160));
    EXPECT_NE(withGhost.pixel(x, y), alone.pixel(x, y));
    EXPECT_EQ(ChannelAt(withGhost, x, y, kBand), -1);  // faint, in no channel's colour
    const int moved = ExpectedTop(53) + kRow / 2;
    EXPECT_EQ(withGhost.pixel(x, moved), NoteColour(0, 100).rgb());
}

TEST(RollPicture, FittingShowsTheWholePieceAndEveryKeyItUses) {
    const auto loaded = Piece({{0, 60, 960, 0, 100}, {48, 67, 48, 0, 100}, {0, 36, 48, 9, 100}});
    const RollLayout layout = Roll(*loaded, {false, false});
    const RollGeometry fit = RollGeometry::Fit(QSize(640, 300), layout);
    EXPECT_EQ(fit.X(0), RollGeometry::kKeyboardWidth);
    EXPECT_EQ(fit.X(layout.length), 640);
    EXPECT_LE(fit.LowKey(), 36);
    EXPECT_GE(fit.HighKey(), 67);
    EXPECT_EQ(fit.RowTop(fit.HighKey()), RollGeometry::kRulerHeight);
    EXPECT_EQ(fit.RowBottom(fit.LowKey()), 300);
    EXPECT_EQ(DrawRoll(QSize(640, 300), layout).size(), QSize(640, 300));
}

}  // namespace
}  // namespace solvane
