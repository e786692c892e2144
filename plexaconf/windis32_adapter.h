// The wizard's hold on one network adapter of the PC: the raw frame layer (powerline's packet
// port over rawport.dll, with the receive filter every powerline program installs and the
// directed-and-broadcast packet filter) organised per adapter. Frames leave at once, without
// the port's pacing: the wizard waits for one answer at a time. A send that rawport completes
// late is waited for a bounded time, so a stuck adapter fails the step instead of hanging it.
#pragma once

#include <stddef.h>

#include <string>

#include "common/raii.h"
#include "powerline/frames.h"
#include "powerline/packet_port.h"

class CWinDis32Adapter {
public:
    explicit CWinDis32Adapter(tPortAdapter* adapter);
    CWinDis32Adapter(const CWinDis32Adapter&) = delete;
    CWinDis32Adapter& operator=(const CWinDis32Adapter&) = delete;

    const std::string& Name() const { return m_name; }
    // The adapter's own Ethernet address: the source of every frame the wizard sends.
    const tMacAddress& Station() const { return m_station; }

    // Any thread. False when the adapter is gone or rawport did not send the frame.
    bool Send(const void* frame, size_t length);
    // On the receive thread, when the port removes the adapter: waits for a send under way,
    // and every later send fails.
    void Detach();
    bool IsAttached();

private:
    raii::CCriticalSection m_lock;
    tPortAdapter* m_adapter;
    std::string m_name;
    tMacAddress m_station;
};
