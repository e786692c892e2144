#include "common/raii.h"

#include "common/trace.h"

namespace raii {

void TraceCloseFailure(const char* api, unsigned long error)
{
    TraceHere("%s failed\n", api);
    TraceError(error);
}

} // namespace raii
