// The powerline network the emulator stands for, read from a scenario file:
//
//   [local kitchen]            a local adapter, attached to one of the PC's Ethernet ports
//   address = 02:00:00:00:00:01
//   kind = homeplug            homeplug (HomePlug 1.0) or hs (the vendor's HS kind)
//   port = veth-plc            the Ethernet adapter it sits on (name or description);
//                              may be left out when the emulator serves one adapter
//   key = 0123456789ABCDEF     network key: only devices with equal keys see each other
//   security_id = KITCHEN01    device password printed on the device
//
//   [remote study]             a device on the mains
//   address = 02:00:00:00:00:02
//   kind = hs
//   key = 0123456789ABCDEF
//   rate = 519                 raw NetStat rate of the link to it (HomePlug 1.0 reports)
//   quality = 2812             raw quality value (HS reports)
//   group = no                 reported in NetStat answers as a station still to be asked
//   audio = yes                also a powerline audio device, which answers WhoIsThere:
//   ip = 198.18.0.20           its IPv4 address
//   stream = yes               it offers an audio stream at http://ip:http_port/path
//   http_port = 8000
//   path = /stream.mp3
//   state = 0                  its state byte (the channel shown is state + 1)
//
// Every device may say "plugged = no" to start unplugged. Lines starting with ";" or "#"
// are comments.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "powerline/frames.h"

enum tDeviceRole { ROLE_LOCAL, ROLE_REMOTE };
enum tDeviceKind { KIND_HOMEPLUG, KIND_HS };

struct tEmulatedDevice {
    std::string name;
    tDeviceRole role = ROLE_REMOTE;
    tDeviceKind kind = KIND_HOMEPLUG;
    tMacAddress address = {};
    std::string port;
    std::string key = "default";
    std::string securityId;
    bool plugged = true;
    uint16_t rate = 0;
    uint16_t quality = 0;
    bool group = false;
    bool audio = false;
    uint32_t ip = 0; // network order
    bool stream = false;
    uint16_t httpPort = 80;
    std::string path;
    uint8_t state = 0;
};

struct tScenario {
    std::vector<tEmulatedDevice> devices;
};

// Parses a scenario text; on failure error holds "line N: what is wrong".
bool ParseScenario(const std::string& text, tScenario& out, std::string& error);
// Dotted IPv4 text to network order.
bool ParseIpv4(const std::string& text, uint32_t& out);
