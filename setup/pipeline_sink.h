// What the install and remove pipeline tells the page that runs it, and asks of it. The
// work page posts these to itself as its messages; tests record them.
#pragma once

#include <string>

namespace setup {

// Phases of the pipeline (the first parameter of the page's phase message).
enum {
    PHASE_SERVICES_STOPPED = 2,
    PHASE_FILES = 3,
    PHASE_REGISTRY = 4,
    PHASE_SHORTCUTS = 5,
    PHASE_SERVICES_STARTED = 6,
    PHASE_DONE = -1,
};

class IPipelineSink {
public:
    virtual ~IPipelineSink() = default;
    virtual void Phase(int phase) = 0;
    // The file queue starts with this many operations; then one step per operation.
    virtual void FileProgressStart(unsigned count) = 0;
    virtual void FileProgressStep() = 0;
    // A plug-in step runs: its text, and whether the progress bar is shown.
    virtual void StepText(const std::string& text, bool showProgress) = 0;
    // A shortcut marked "ask" in an interactive run: true creates it.
    virtual bool AskShortcut(const std::string& name) = 0;
};

} // namespace setup
