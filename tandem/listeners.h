// The interfaces through which the worker objects report to their owner (the main window, or
// the console node). Every call comes on a worker thread and may block it until the owner has
// handled it (the window answers them through sent messages); none is made while a lock of
// the worker object is held, so a handler may call back into the object.
#pragma once

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "common/sockets.h"
#include "tandem/net_structure.h"
#include "tandem/protocol.h"

// A cancel flag shared between the owner and a job: the job keeps it alive for as long as it
// may look at it, however soon the owner forgets the transfer.
typedef std::shared_ptr<tCancelFlag> tCancelHandle;

inline tCancelHandle NewCancelFlag()
{
    return std::make_shared<tCancelFlag>(false);
}

// Host discovery: a host is present exactly while its ping connection lives.
class IHostListener {
public:
    virtual void HostAppeared(uint32_t address, const std::string& name, HostKind kind) = 0;
    virtual void HostDisappeared(uint32_t address) = 0;

protected:
    ~IHostListener() = default;
};

// Results of the request client's quick jobs, keyed by job id.
class IRequestResultListener {
public:
    // success is false when the host could not be reached or the reply did not arrive.
    virtual void ExpandResult(int jobId, const std::vector<ShareItem>& items, bool success) = 0;
    // Reported only when the reply arrived.
    virtual void HostInfoResult(int jobId, const HostInfo& info) = 0;

protected:
    ~IRequestResultListener() = default;
};

// The server tells its owner about an upload before sending the first byte; the owner may
// hand back a flag that cancels this upload.
class IUploadNotification {
public:
    virtual tCancelHandle UploadStarting(int serial) = 0;

protected:
    ~IUploadNotification() = default;
};

// Whether a host may download from this one; asked on the job's thread for every download.
class IAdmissionCheck {
public:
    virtual bool IsAdmitted(uint32_t address) = 0;

protected:
    ~IAdmissionCheck() = default;
};
