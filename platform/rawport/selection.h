// The pure decisions of rawport: which adapters it offers, and which received frames an
// adapter's NDIS packet filter lets through.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// Whether an adapter is offered under the RAWPORT_ADAPTERS list (names or descriptions,
// comma-separated, compared without regard to case). An empty or missing list selects all.
bool RawportSelected(const std::string& name, const std::string& description,
                     const std::string& list);

// Whether a received frame passes the packet filter of an adapter with the given station
// address: promiscuous takes everything, otherwise frames to the station or to broadcast.
// The adapter's own frames, seen again by the capture, never pass.
bool RawportAccepts(const uint8_t* frame, size_t length, const uint8_t station[6], uint32_t filter);
