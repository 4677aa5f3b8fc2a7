#pragma once
// Standard input, read once into a file in memory that has a path: the
// loader opens its file by path, and the titles and reports name it. Owns
// the memory file; path() is empty when stdin could not be
// read, and the loader then reports a file that does not open.

#include <string>

namespace solvane::cli {

class StdinSpool {
public:
    StdinSpool();
    ~StdinSpool();
    StdinSpool(const StdinSpool&) = delete;
    StdinSpool& operator=(const StdinSpool&) = delete;

    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace solvane::cli
