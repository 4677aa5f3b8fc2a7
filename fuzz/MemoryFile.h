#pragma once
// A file that lives in memory (in /dev/shm, else a memfd), reachable by a
// path, so the loader can read fuzz input exactly as it reads a chosen file,
// without touching the disk. Falls back to a file in the temporary folder
// where neither is available. A run that dies leaves its /dev/shm file behind.

#include <cstddef>
#include <cstdint>
#include <string>

namespace solvane::fuzz {

class MemoryFile {
public:
    explicit MemoryFile(const char* name);
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    // Replaces the whole content.
    void Write(const std::uint8_t* bytes, std::size_t size);
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    std::string path_;
    std::size_t size_ = 0;
    bool unlinkAtEnd_ = false;
};

}  // namespace solvane::fuzz
