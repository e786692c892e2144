// The powerline plug-in's status tree, rebuilt from the discovery engine's device picture.
// Every local and remote device takes the next id block B = 1000 × n + 1000: B for its top row,
// B+1 rate, B+2 MAC address, B+3 IP address, B+4 kind under a named device, B+5 audio channel.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "monitor/source.win/global/status.h"
#include "plugins/plexa/discovery.h"

enum {
    ID_BLOCK = 1000,
    ID_OFFSET_RATE = 1,
    ID_OFFSET_MAC = 2,
    ID_OFFSET_IP = 3,
    ID_OFFSET_KIND = 4,
    ID_OFFSET_CHANNEL = 5,
};

// Texts from the plug-in's string table.
struct tPlexaTexts {
    std::string kind, kindAudio, kindHs, rate, mac, ip, device, grid, playing, recording;
};

struct tPlexaMenus {
    tItemActions device, audio, audioStream;
};

typedef std::function<std::string(const tMacAddress&)> tNameLookup;
typedef std::function<void(const tLocalDevice&, const tRemoteDevice&)> tRecordHook;

// Appends the rows of every adapter's devices to the (emptied) root, adapters in port order.
void RebuildTree(CState& root, const std::vector<tDeviceSet*>& adapters, const tPlexaTexts& texts,
                 const tPlexaMenus& menus, const tNameLookup& nameOf, const tRecordHook& record);

// "%.0f MBit/s"
std::string FormatRate(double rate);
// A "%d" text filled with a number, safely: texts come from translated resources.
std::string FormatCount(const std::string& format, int number);
