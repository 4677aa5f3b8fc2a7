#pragma once
// Running an operation twice, the plain way and the core's way, on exact
// copies of one input, and comparing what came out: every field and data
// byte of every event, and every report in order.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "song/MidiF0Data.h"
#include "support/Messages.h"
#include "tests/support/RecordingSink.h"
#include "tests/support/SongProbe.h"
#include "tests/support/TrackFixtures.h"
#include "track/MidiTrackData.h"

namespace solvane::test {

// A record with all its data bytes (a record copy keeps only length bytes).
inline MusicEvent Exact(const MusicEvent& event) {
    MusicEvent copy(event);
    copy.data = event.data;
    return copy;
}

inline std::vector<MusicEvent> Exact(const std::vector<MusicEvent>& events) {
    std::vector<MusicEvent> out;
    out.reserve(events.size());
    for (const MusicEvent& event : events) out.push_back(Exact(event));
    return out;
}

// The reports made while body runs.
template <typename Body>
std::vector<Report> Recorded(Body body) {
    RecordingSink sink;
    body();
    return sink.reports();
}

inline std::string Line(const Report& r) { return FormatReport(r.module, r.code, r.text); }

inline void ExpectSameReports(const std::vector<Report>& expected, const std::vector<Report>& actual) {
    const std::size_t common = std::min(expected.size(), actual.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (Line(expected[i]) != Line(actual[i])) {
            ADD_FAILURE() << "report " << i << " differs: expected " << Line(expected[i])
                          << ", got " << Line(actual[i]);
            return;
        }
    }
    if (expected.size() != actual.size()) {
        ADD_FAILURE() << "expected " << expected.size() << " reports, got " << actual.size() << "; next: "
                      << (expected.size() > common ? Line(expected[common]) : Line(actual[common]));
    }
}

inline void ExpectSameEvents(const std::vector<MusicEvent>& expected, const std::vector<MusicEvent>& actual) {
    const std::size_t common = std::min(expected.size(), actual.size());
    for (std::size_t i = 0; i < common; ++i) {
        const std::string want = Fingerprint(expected[i]);
        const std::string got = Fingerprint(actual[i]);
        if (want != got) {
            ADD_FAILURE() << "event " << i << " of " << expected.size() << " differs:\n  expected " << want
                          << "\n  got      " << got;
            return;
        }
    }
    EXPECT_EQ(expected.size(), actual.size()) << "event lists differ in length";
}

inline void ExpectSameTrack(const MidiTrackData& expected, const MidiTrackData& actual) {
    EXPECT_EQ(expected.state, actual.state);
    ExpectSameEvents(expected.events, actual.events);
}

inline void ExpectSameSong(const MidiF0Data& expected, const MidiF0Data& actual) {
    EXPECT_EQ(expected.state, actual.state);
    EXPECT_EQ(expected.division, actual.division);
    EXPECT_EQ(expected.size, actual.size);
    ASSERT_NE(expected.track, nullptr);
    ASSERT_NE(actual.track, nullptr);
    ExpectSameTrack(*expected.track, *actual.track);
}

}  // namespace solvane::test
