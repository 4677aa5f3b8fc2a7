#include "tests/app/AppTestSupport.h"

#include "tests/support/SmfBuilder.h"

namespace solvane::test {

std::vector<AppSuite>& AppSuites() {
    static std::vector<AppSuite> suites;
    return suites;
}

RegisterAppSuite::RegisterAppSuite(const char* name, std::function<std::unique_ptr<QObject>()> make) {
    AppSuites().push_back({name, std::move(make)});
}

std::vector<std::uint8_t> SamplePiece() {
    return SmfBuilder()
        .Header(0, 1, 96)
        .Track({
            0x00, 0xC0, 0x05,        // channel 0: program 5
            0x00, 0x90, 2, 100,      // key 2 on at 0
            0x30, 0x90, 9, 90,       // key 9 on at 48
            0x00, 0x91, 60, 80,      // channel 1: key 60 on at 48
            0x00, 0x99, 38, 110,     // drum hit at 48
            0x30, 0x80, 2, 0,        // key 2 off at 96
            0x00, 0x81, 60, 0,       // key 60 off at 96
            0x00, 0x89, 38, 0,       // drum off at 96
            0x00, 0x91, 67, 80,      // key 67 on at 96
            0x60, 0x80, 9, 0,        // key 9 off at 192
            0x00, 0x81, 67, 0,       // key 67 off at 192
            0x00, 0xFF, 0x2F, 0x00,  // End of Track
        })
        .Bytes();
}

}  // namespace solvane::test
