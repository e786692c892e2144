// The value providers of a connection's items: the top item (entry name), the device item, the
// duration and the two transfer rates. Each holds its connection until the connection ends and
// tells it when it goes first, so neither side is left pointing at the other.
#pragma once

#include <windows.h>

#include <string>

#include "plugins/dialtrack/connection.h"
#include "plugins/dialtrack/plugin_base.h"
#include "plugins/dialtrack/sample_ring.h"

class CTapiLine;

// The icon of a device item: the first row of the model table whose text occurs in the
// device name; 1 without a match.
int32_t ModelIcon(const std::string& deviceName);

// Holds a connection while it runs: registered as its listener from creation, let go at its end.
class CConnectionWatcher : public CConnectionListener {
public:
    explicit CConnectionWatcher(CRASConnection* connection);
    ~CConnectionWatcher() override;
    CConnectionWatcher(const CConnectionWatcher&) = delete;
    CConnectionWatcher& operator=(const CConnectionWatcher&) = delete;

    void OnConnected(CRASConnection&) override {}
    void OnDisconnected(CRASConnection& connection) override;

protected:
    CRASConnection* m_connection;
};

// The connection's top item: "Name of connection: <entry name>"; keyed by the device name.
class CDialtrack : public CValueProvider, public CConnectionWatcher {
public:
    CDialtrack(const std::string& key, CRASConnection* connection);
    const char* GetTypeName() const override { return "CDialtrack"; }
    std::string GetKey() const override { return m_key; }
    CRASConnection* GetConnection() const override { return m_connection; }

private:
    std::string m_key;
    std::string m_entryName;
};

// The device item; it never changes its item.
class CDialtrackDevice : public CValueProvider, public CConnectionWatcher {
public:
    CDialtrackDevice(const std::string& deviceName, const std::string& deviceType, CRASConnection* connection,
                     const CTapiLine* line);
    const char* GetTypeName() const override { return "CDialtrackDevice"; }
    std::string GetKey() const override { return m_deviceName; }

private:
    std::string m_deviceName;
    std::string m_deviceType;
    const CTapiLine* m_line;
};

// "Duration of connection": live until the end, frozen afterwards.
class CRASConnDurationInfo : public CValueProvider, public CConnectionWatcher {
public:
    CRASConnDurationInfo(HINSTANCE instance, CRASConnection* connection);
    const char* GetTypeName() const override { return "CRASConnDurationInfo"; }
    CRASConnection* GetConnection() const override { return m_connection; }
    void Notify(tNotification notification, bool afterChildren, CItem& item) override;
    void OnDisconnected(CRASConnection& connection) override;

private:
    HINSTANCE m_instance;
    uint64_t m_frozenMs = 0;
};

// A transfer rate over the last ten seconds, sampled before every wait and after every time-out.
class CTrafficInfo : public CValueProvider, public CConnectionWatcher {
public:
    CTrafficInfo(HINSTANCE instance, CRASConnection* connection);
    CRASConnection* GetConnection() const override { return m_connection; }
    void Notify(tNotification notification, bool afterChildren, CItem& item) override;
    void OnDisconnected(CRASConnection& connection) override;

    void TimeStamp();
    uint32_t GetBytesRate() const { return m_ring.GetBytesRate(); }
    std::string GetDataRateString() const;

protected:
    // The count this provider follows.
    virtual uint64_t Count(const CRASConnection& connection) const = 0;

private:
    HINSTANCE m_instance;
    uint64_t m_pushed = 0; // the final count, once the connection has ended
    CSampleRing m_ring;
};

class CUploadTraffic : public CTrafficInfo {
public:
    using CTrafficInfo::CTrafficInfo;
    const char* GetTypeName() const override { return "CUploadTraffic"; }

protected:
    uint64_t Count(const CRASConnection& connection) const override { return connection.GetSentBytes(); }
};

class CDownloadTraffic : public CTrafficInfo {
public:
    using CTrafficInfo::CTrafficInfo;
    const char* GetTypeName() const override { return "CDownloadTraffic"; }

protected:
    uint64_t Count(const CRASConnection& connection) const override { return connection.GetReceivedBytes(); }
};
