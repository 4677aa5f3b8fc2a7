#include "platform/FileChooser.h"

#include <atomic>

namespace solvane {
namespace {
std::atomic<FileChooser*> g_chooser{nullptr};
}

void InstallFileChooser(FileChooser* chooser) { g_chooser.store(chooser); }
FileChooser* CurrentFileChooser() { return g_chooser.load(); }

}  // namespace solvane
