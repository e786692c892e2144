#include "powerline/receive_filter.h"

const tBpfInstruction kPowerlineReceiveFilter[kPowerlineFilterLength] = {
    {0x28, 0, 0, 12},          // EtherType
    {0x15, 6, 0, 0x887B},      // HomePlug management frame: accept
    {0x15, 0, 6, 0x0800},      // not IPv4: reject
    {0x30, 0, 0, 23},          // IPv4 protocol
    {0x15, 0, 4, 17},          // not UDP: reject
    {0xB1, 0, 0, 14},          // X = IPv4 header length
    {0x48, 0, 0, 16},          // UDP destination port
    {0x15, 0, 1, 15472},       // the audio devices' port: accept
    {0x06, 0, 0, 0xFFFFFFFF},  // accept the whole frame
    {0x06, 0, 0, 0},           // reject
};
