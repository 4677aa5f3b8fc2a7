// Every test starts like a fresh program: the reader's running status and the
// once-per-track warning flags are process-wide, as they are in the program.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "track/MidiTrackData.h"

namespace {

class FreshReaderState : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { solvane::MidiTrackData::ResetReaderState(); }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleMock(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshReaderState);
    return RUN_ALL_TESTS();
}
