// The preview's time from a ticked box to the finished picture, in the
// window's own code: PreviewWindow::SetReversals transforms the loaded piece
// (PlayableCopy), walks it on the virtual clock (LayOutRoll) and draws it
// into the view's picture before it returns. Beside it, each of the three
// steps alone, and the picture solvane-cli roll draws. Wall time: the window
// waits for all of it.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QImage>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/PreviewWindow.h"
#include "app/RollView.h"
#include "bench/LargeFiles.h"
#include "platform/MessageSink.h"
#include "roll/RollLayout.h"
#include "roll/RollPicture.h"
#include "song/MidiF0Data.h"
#include "song/MidiFileLoader.h"
#include "song/Transformation.h"
#include "support/General.h"

namespace {

class Quiet : public solvane::MessageSink {
public:
    void Show(std::string_view, std::uint32_t, std::string_view) override {}
};

struct Loaded {
    std::string name;
    std::unique_ptr<solvane::MidiFileLoader> loader;
};

std::vector<Loaded>& Pieces() {
    static std::vector<Loaded> pieces;
    return pieces;
}

const solvane::Reversals kTicks[] = {{false, true}, {true, true}, {true, false}, {false, false}};

void BoxTicked(benchmark::State& state, const Loaded* piece) {
    solvane::PreviewWindow window;
    window.resize(1000, 560);
    window.show();
    window.SetPiece(piece->loader->song.get(), QString::fromStdString(piece->name), {});
    std::size_t tick = 0;
    for (auto _ : state) {
        window.SetReversals(kTicks[tick++ % 4]);
        benchmark::DoNotOptimize(window.Shown().notes.data());
    }
    state.counters["notes"] = static_cast<double>(window.Shown().notes.size());
    state.counters["picture_px"] = window.View()->viewport()->width() * window.View()->viewport()->height();
}

void Transform(benchmark::State& state, const Loaded* piece) {
    for (auto _ : state) benchmark::DoNotOptimize(solvane::PlayableCopy(*piece->loader->song, {true, true}));
}

void LayOut(benchmark::State& state, const Loaded* piece) {
    const auto song = solvane::PlayableCopy(*piece->loader->song, {true, true});
    for (auto _ : state) benchmark::DoNotOptimize(solvane::LayOutRoll(*song));
}

void Draw(benchmark::State& state, const Loaded* piece) {
    const auto layout = solvane::LayOutRoll(*solvane::PlayableCopy(*piece->loader->song, {true, true}));
    for (auto _ : state) benchmark::DoNotOptimize(solvane::DrawRoll(QSize(1280, 720), layout));
}

}  // namespace

int main(int argc, char** argv) {
    constexpr int kMiB = 1 << 20;
    mallopt(M_MMAP_THRESHOLD, 256 * kMiB);
    mallopt(M_TRIM_THRESHOLD, 512 * kMiB);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform's notes would break up the table.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication application(argc, argv);
    Quiet quiet;
    solvane::InstallMessageSink(&quiet);
    const std::string dir = std::filesystem::temp_directory_path() / "solvane-preview-bench";
    std::filesystem::create_directories(dir);
    for (const auto& file : solvane::bench::StandardFiles()) {
        if (file.name.find("full") == std::string::npos) continue;
        const std::string path = dir + "/" + file.name;
        const auto bytes = solvane::bench::MakePiece(file.kind, file.maxBytes);
        solvane::WriteWholeFile(path, bytes.data(), static_cast<std::int32_t>(bytes.size()));
        auto loader = std::make_unique<solvane::MidiFileLoader>(path, solvane::MidiFileLoader::AndBuildSong{});
        Pieces().push_back({file.name.substr(0, file.name.size() - 4) + " (" + std::to_string(bytes.size()) + " B)",
                            std::move(loader)});
    }
    for (const Loaded& piece : Pieces()) {
        benchmark::RegisterBenchmark(("BoxTicked/" + piece.name).c_str(), BoxTicked, &piece)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("Transform/" + piece.name).c_str(), Transform, &piece)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("LayOut/" + piece.name).c_str(), LayOut, &piece)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("Draw1280x720/" + piece.name).c_str(), Draw, &piece)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 64;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Pieces().clear();
    std::filesystem::remove_all(dir);
    solvane::InstallMessageSink(nullptr);
    return 0;
}
