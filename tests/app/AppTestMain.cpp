// Runs the dialog's QtTest suites: all of them, or the one named first on
// the command line (the other arguments go to QtTest).

#include <QApplication>
#include <QTest>
#include <cstring>
#include <vector>

#include "tests/app/AppTestSupport.h"
#include "track/MidiTrackData.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    std::vector<char*> qtestArgs{argv[0]};
    for (int i = only != nullptr ? 2 : 1; i < argc; ++i) qtestArgs.push_back(argv[i]);

    int failures = 0;
    bool ran = false;
    for (const solvane::test::AppSuite& suite : solvane::test::AppSuites()) {
        if (only != nullptr && std::strcmp(only, suite.name) != 0) continue;
        ran = true;
        solvane::MidiTrackData::ResetReaderState();
        const auto object = suite.make();
        failures += QTest::qExec(object.get(), static_cast<int>(qtestArgs.size()), qtestArgs.data());
    }
    return ran ? failures : 1;
}
