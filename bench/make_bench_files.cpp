// Writes the benchmark pieces into a folder:
//   make_bench_files DIR
// dense-f1, band-f0 and piano-2tr, each at quarter, half and full size
// (full: just under the 262,144 bytes the program reads).

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bench/LargeFiles.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bench_files DIR\n");
        return 64;
    }
    const std::filesystem::path dir(argv[1]);
    std::filesystem::create_directories(dir);
    for (const auto& file : solvane::bench::StandardFiles()) {
        const auto bytes = solvane::bench::MakePiece(file.kind, file.maxBytes);
        const auto path = dir / file.name;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "make_bench_files: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s %zu\n", path.c_str(), bytes.size());
    }
    return 0;
}
