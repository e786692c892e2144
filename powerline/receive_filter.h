// The receive filter every powerline program installs on its adapters: HomePlug 1.0
// management frames (EtherType 0x887B) and IPv4/UDP datagrams to the audio devices' port
// 15472, everything else rejected before it reaches the program. A classic BPF program, as
// rawport takes it. No windows.h here.
#pragma once

#include <stddef.h>
#include <stdint.h>

// One classic BPF instruction, as the filter program is handed to rawport.
struct tBpfInstruction {
    uint16_t code;
    uint8_t jt;
    uint8_t jf;
    uint32_t k;
};
static_assert(sizeof(tBpfInstruction) == 8, "classic BPF instruction");

const size_t kPowerlineFilterLength = 10;
extern const tBpfInstruction kPowerlineReceiveFilter[kPowerlineFilterLength];
// The program's size in bytes, as PortCreate wants it (80).
const size_t kPowerlineFilterBytes = sizeof(tBpfInstruction) * kPowerlineFilterLength;
