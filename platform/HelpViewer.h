#pragma once
// Shows a topic of the help file. The window installs the real viewer; with
// none installed a help request does nothing, as when no viewer can be loaded.

#include <string_view>

namespace solvane {

class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    // Returns false when nothing could be shown; callers ignore it.
    virtual bool ShowTopic(std::string_view file, std::string_view topic) = 0;
};

}  // namespace solvane
