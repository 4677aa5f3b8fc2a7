#include "cli/StdinSpool.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "support/General.h"

namespace solvane::cli {
namespace {

// The loader reads at most an image's worth, and for a RIFF-wrapped file an
// image's worth behind the wrapper's header, which lies within the first
// image: a file cut after two images reads exactly as the whole one does.
// Reading no further keeps an endless input from filling memory.
constexpr std::size_t kKept = 2 * static_cast<std::size_t>(kImageCapacity);

int MakeMemoryFile() {
    const int fd = memfd_create("solvane-stdin", MFD_CLOEXEC);
    if (fd >= 0) return fd;
    // Without memfd: an unnamed file in the temporary folder.
    const char* dir = std::getenv("TMPDIR");
    return open(dir != nullptr && *dir != '\0' ? dir : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

StdinSpool::StdinSpool() {
    std::vector<std::uint8_t> bytes(kKept);
    std::size_t read = 0;
    while (read < kKept) {
        const ssize_t n = ::read(STDIN_FILENO, bytes.data() + read, kKept - read);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return;  // no input to read: as a file that does not open
        if (n == 0) break;
        read += static_cast<std::size_t>(n);
    }
    fd_ = MakeMemoryFile();
    if (fd_ < 0 || !WriteAll(fd_, bytes.data(), read)) return;
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

StdinSpool::~StdinSpool() {
    if (fd_ >= 0) close(fd_);
}

}  // namespace solvane::cli
