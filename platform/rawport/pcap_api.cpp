#include "platform/rawport/pcap_api.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <string.h>
#include <strings.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

const tPcapApi* g_override;

bool StationAddress(const char* text, uint8_t out[6])
{
    std::string name = text ? text : "";
    // Adapter names end in the interface's GUID, which the IP helper knows with its address.
    std::string::size_type open = name.find('{');
    if (open == std::string::npos)
        return false;
    std::string guid = name.substr(open);
    ULONG size = 16384;
    std::vector<uint8_t> buffer;
    ULONG result = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.resize(size);
        result = GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_INCLUDE_ALL_INTERFACES, nullptr,
                                      reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
    }
    if (result != NO_ERROR)
        return false;
    for (auto a = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); a; a = a->Next)
        if (a->AdapterName && strcasecmp(a->AdapterName, guid.c_str()) == 0 && a->PhysicalAddressLength == 6) {
            memcpy(out, a->PhysicalAddress, 6);
            return true;
        }
    return false;
}

template <class T>
void Bind(HMODULE module, T& function, const char* name)
{
    function = reinterpret_cast<T>(GetProcAddress(module, name));
}

const tPcapApi& SystemPcap()
{
    static tPcapApi api;
    static HMODULE module;
    static std::once_flag once;
    std::call_once(once, [] {
        module = LoadLibraryA("wpcap.dll");
        if (!module)
            return;
        Bind(module, api.findalldevs, "pcap_findalldevs");
        Bind(module, api.freealldevs, "pcap_freealldevs");
        Bind(module, api.open_live, "pcap_open_live");
        Bind(module, api.close, "pcap_close");
        Bind(module, api.datalink, "pcap_datalink");
        Bind(module, api.setnonblock, "pcap_setnonblock");
        Bind(module, api.next_ex, "pcap_next_ex");
        Bind(module, api.sendpacket, "pcap_sendpacket");
        Bind(module, api.setfilter, "pcap_setfilter");
        Bind(module, api.create, "pcap_create");
        Bind(module, api.set_snaplen, "pcap_set_snaplen");
        Bind(module, api.set_promisc, "pcap_set_promisc");
        Bind(module, api.set_timeout, "pcap_set_timeout");
        Bind(module, api.set_immediate_mode, "pcap_set_immediate_mode");
        Bind(module, api.set_buffer_size, "pcap_set_buffer_size");
        Bind(module, api.activate, "pcap_activate");
        api.stationAddress = StationAddress;
    });
    return api;
}


} // namespace

const tPcapApi& Pcap()
{
    return g_override ? *g_override : SystemPcap();
}

void SetPcapApi(const tPcapApi* api)
{
    g_override = api;
}
