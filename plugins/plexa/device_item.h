// A status row of a remote device: it carries the audio device's page and stream addresses,
// which its menu procedures read.
#pragma once

#include "monitor/source.win/global/status.h"

class CDeviceItem : public CItem {
public:
    CDeviceItem(const std::string& name, int32_t icon, const std::string& value, int32_t id,
                tItemActions actions, const std::string& baseUrl, const std::string& streamUrl)
        : CItem(name, icon, value, id, std::move(actions)), m_baseUrl(baseUrl), m_streamUrl(streamUrl)
    {
    }
    const std::string& GetBaseUrl() const { return m_baseUrl; }
    const std::string& GetStreamUrl() const { return m_streamUrl; }

private:
    std::string m_baseUrl;
    std::string m_streamUrl;
};
