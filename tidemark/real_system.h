// The real entry points of the system access table, one file per store.
#pragma once

#include <memory>

#include "tidemark/system_access.h"

std::unique_ptr<CUrlHistoryStore> OpenComUrlHistory();
std::unique_ptr<CProtectedStorage> LoadPstorec();
int CountShellDocumentWindows();
