#define VELMORA_TRACE_VERBOSE 1
#include "common/trace.h"

int g_verboseOnEvaluations = 0;

static int Evaluated()
{
    return ++g_verboseOnEvaluations;
}

void TraceVerboseOn()
{
    TraceVerbose("verbose %d\n", Evaluated());
}
