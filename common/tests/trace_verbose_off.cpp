#define VELMORA_TRACE_VERBOSE 0
#include "common/trace.h"

int g_verboseOffEvaluations = 0;

static int Evaluated()
{
    return ++g_verboseOffEvaluations;
}

void TraceVerboseOff()
{
    TraceVerbose("verbose %d\n", Evaluated());
    (void)Evaluated; // referenced only by the compiled-out statement
}
