// The work of the carry-out and removal pages, run on their worker thread: the uninstall
// registration, the folders, the pipeline and the reboot demand.
#pragma once

#include <windows.h>

#include "setup/pipeline_sink.h"
#include "setup/setup_context.h"

namespace setup {

// Installs the selected products; false with the error that stopped it. The uninstall
// entries are written before anything else, so that an installation that stops half-way is
// listed and can be removed.
bool RunInstallation(tSetupContext& context, IPipelineSink& sink, HWND window, DWORD& error);
// Removes the selected products; their uninstall entries go when the removal succeeded, so
// that a removal that stops half-way can be run again.
bool RunRemoval(tSetupContext& context, IPipelineSink& sink, HWND window, DWORD& error);

// The language of the run for a worker thread too (texts of system dialogs, formats).
void UseRunLanguage(unsigned short language);

} // namespace setup
