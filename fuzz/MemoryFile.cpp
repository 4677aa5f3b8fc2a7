#include "fuzz/MemoryFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace solvane::fuzz {

MemoryFile::MemoryFile(const char* name) {
    // A file in /dev/shm opens by its name in half the time a memfd takes
    // through /proc/self/fd, and every load opens its file.
    const std::string file = std::string(name) + "-" + std::to_string(getpid()) + ".mid";
    std::error_code noShm;
    if (std::filesystem::is_directory("/dev/shm", noShm)) {
        path_ = "/dev/shm/" + file;
        fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        if (fd_ >= 0) {
            unlinkAtEnd_ = true;
            return;
        }
    }
    fd_ = memfd_create(name, 0);
    if (fd_ >= 0) {
        path_ = "/proc/self/fd/" + std::to_string(fd_);
        return;
    }
    path_ = (std::filesystem::temp_directory_path() / file).string();
    fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    unlinkAtEnd_ = true;
    if (fd_ < 0) std::abort();  // nothing can be fuzzed without a file
}

MemoryFile::~MemoryFile() {
    close(fd_);
    if (unlinkAtEnd_) unlink(path_.c_str());
}

void MemoryFile::Write(const std::uint8_t* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(fd_, bytes + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    // Cut only what the last content had beyond this one: a call less per input.
    if (size < size_ && ftruncate(fd_, static_cast<off_t>(size)) != 0) std::abort();
    size_ = size;
}

}  // namespace solvane::fuzz
