// The frames the emulated devices send, written from the device side with encoders of their
// own: the emulator shares no builder with the programs it answers, so that a wrong idea of a
// format on either side shows up as a disagreement instead of being mirrored. Frames shorter
// than the Ethernet minimum are padded to 60 bytes, as a device's network chip does.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "powerline/frames.h"

typedef std::vector<uint8_t> tFrameBytes;

// A station and the raw rate of the link to it, as a device reports it.
struct tStationRate {
    tMacAddress address;
    uint16_t raw;
};

// What an audio device announces in its Hello.
struct tHelloAnnouncement {
    bool stream = false;
    uint8_t state = 0;
    uint32_t ip = 0; // network order
    uint16_t httpPort = 80;
    tMacAddress station = {};
    std::string path;
};

// StatRsp: entry 0x08 with 22 bytes of statistics (all zero here).
tFrameBytes AnswerStatRsp(const tMacAddress& to, const tMacAddress& from);
// NetStat response: entry 0x1A of 187 bytes, the first 15 stations with little-endian rates;
// an address is sent as given, group bit included.
tFrameBytes AnswerNetStat(const tMacAddress& to, const tMacAddress& from, const std::vector<tStationRate>& stations);
// The vendor device description: 00 04 87 90, then bit 0 of the next byte says "remote".
tFrameBytes AnswerDeviceDescription(const tMacAddress& to, const tMacAddress& from, bool remote);
// The vendor quality report: 00 04 87 98, then up to 31 records of address and big-endian rate.
tFrameBytes AnswerQuality(const tMacAddress& to, const tMacAddress& from, const std::vector<tStationRate>& stations);
// A Hello as an IPv4/UDP broadcast from sourceIp, port 15472 to 15472; empty when the path is
// too long for one frame.
tFrameBytes AnswerHello(const tMacAddress& to, const tMacAddress& from, uint32_t sourceIp,
                        const tHelloAnnouncement& hello);
