// NDIS packet filter bits as rawport understands them; kept apart from rawport.h so that the
// pure parts of rawport need no windows.h.
#pragma once

#include <stdint.h>

const uint32_t kRawFilterDirected = 0x01;
const uint32_t kRawFilterBroadcast = 0x08;
const uint32_t kRawFilterPromiscuous = 0x20;
