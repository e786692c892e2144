#include "plugins/plexa/plexa_front.h"

#include <string.h>

#include <vector>

#include "common/strings.h"
#include "common/trace.h"
#include "common/xutil.h"
#include "plugins/plexa/device_item.h"
#include "plugins/plexa/name_dialog.h"
#include "plugins/plexa/res/plexa_resource.h"

namespace {

const char kWizardProduct[] = "plexaconf";
const char kWizardFile[] = "plexa\\plexaconf\\plexaconf.exe";

bool FileExists(const std::string& path)
{
    return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

std::string FindMediaPlayer()
{
    char path[MAX_PATH * 2];
    for (const char* program : {"wmplayer.exe", "mplayer2.exe"})
        if (xUtilGetAppPath(program, path, sizeof path) && FileExists(path))
            return path;
    return std::string();
}

std::string FindWinamp()
{
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Winamp", 0,
                      KEY_READ, &opened) != ERROR_SUCCESS)
        return std::string();
    raii::CRegKey key(opened);
    char value[1024] = "";
    DWORD size = sizeof value - 1, type = 0;
    if (RegQueryValueExA(key.Get(), "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    std::string text = value;
    std::string program;
    if (!text.empty() && text[0] == '"') {
        std::string::size_type close = text.find('"', 1);
        program = text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        program = text.substr(0, text.find(' '));
    }
    std::string::size_type slash = program.rfind('\\');
    if (slash == std::string::npos)
        return std::string();
    std::string path = program.substr(0, slash + 1) + "winamp.exe";
    return path.size() < MAX_PATH && FileExists(path) ? path : std::string();
}

bool IsPlainCommandText(const std::string& text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E || c == '"')
            return false;
    return !text.empty();
}

std::string BrowserCommand(const std::string& command, const std::string& url)
{
    std::string::size_type at = command.find("%1");
    if (at == std::string::npos)
        return command + " " + xUtilQuoteArgument(url);
    bool quotedSlot = at > 0 && command[at - 1] == '"' && at + 2 < command.size() && command[at + 2] == '"';
    return command.substr(0, at) + (quotedSlot ? url : xUtilQuoteArgument(url)) + command.substr(at + 2);
}

CPlexaFront& CPlexaFront::Instance()
{
    static CPlexaFront front;
    return front;
}

std::string CPlexaFront::Text(UINT id) const
{
    return xUtilLoadString(m_module, id);
}

void CPlexaFront::Attach(HMODULE module)
{
    TraceInit("/debug:stdout");
    m_module = module;
    m_prompt = PromptDeviceName;
    m_collector.reset(new CUsageCollector);
    m_collector->Start();
}

void CPlexaFront::Detach()
{
    if (m_collector)
        m_collector->Stop();
    m_collector.reset();
}

void CPlexaFront::BuildMenus()
{
    tItemActions device = {{Text(IDS_MENU_RENAME), OnRename}};
    char found[MAX_PATH * 2];
    if (xUtilFindInstalledFile(kWizardProduct, kWizardFile, found, sizeof found))
        device.push_back({Text(IDS_MENU_WIZARD), OnStartWizard});
    tItemActions audio = device;
    audio.push_back({"", nullptr});
    audio.push_back({Text(IDS_MENU_CONTROL), OnControlDevice});
    tItemActions stream = audio;
    if (!FindMediaPlayer().empty())
        stream.push_back({Text(IDS_MENU_WMP), OnPlayMediaPlayer});
    if (!FindWinamp().empty())
        stream.push_back({Text(IDS_MENU_WINAMP), OnPlayWinamp});
    m_menus = {device, audio, stream};
}

void CPlexaFront::Init()
{
    // On Windows 98 first edition the raw packet driver is loaded on demand: deleting its
    // device unloads it, so that the next open loads it afresh.
    if (xUtilCompareOSVersion("Win98FE", nullptr) == OS_COMPARE_EQUAL)
        DeleteFileA("\\\\.\\RAWPNDIS3");
    char path[MAX_PATH * 2];
    DWORD length = GetModuleFileNameA(m_module, path, sizeof path);
    m_names.reset(new CNamesStore(utilcpp::CParseini::SettingsPathFor(std::string(path, length < sizeof path ? length : 0))));
    m_tree.reset(new CState);
    m_discovery = DiscoveryCreate(m_collector.get());
    BuildMenus();
    m_texts.kind = Text(IDS_KIND);
    m_texts.kindAudio = Text(IDS_KIND_AUDIO);
    m_texts.kindHs = Text(IDS_KIND_HS);
    m_texts.rate = Text(IDS_RATE);
    m_texts.mac = Text(IDS_MAC);
    m_texts.ip = Text(IDS_IP);
    m_texts.device = Text(IDS_DEVICE);
    m_texts.grid = Text(IDS_VIA_GRID);
    m_texts.playing = Text(IDS_PLAYING);
    m_texts.recording = Text(IDS_RECORDING);
}

void CPlexaFront::RebuildNow(bool collecting)
{
    raii::CLock lock(m_lock);
    m_tree->RemoveAll();
    std::vector<tDeviceSet*> adapters;
    for (tPortAdapter* adapter = PortFirstAdapter(m_discovery->port); adapter; adapter = PortNextAdapter(adapter))
        adapters.push_back(DeviceSetOf(adapter));
    CNamesStore* names = m_names.get();
    CUsageCollector* collector = collecting ? m_collector.get() : nullptr;
    RebuildTree(*m_tree, adapters, m_texts, m_menus,
                [names](const tMacAddress& address) { return names->NameOf(address); },
                [collector](const tLocalDevice& local, const tRemoteDevice& remote) {
                    if (collector)
                        collector->Record(local, remote);
                });
}

CState* CPlexaFront::GetState(HANDLE cancelEvent, HANDLE refreshEvent)
{
    Trace("[plexa] waiting for next change\n");
    bool collecting = m_collector && m_collector->CollectingAllowed();
    if (m_collector)
        m_collector->SetActive(collecting);
    if (collecting)
        m_collector->BeforeGetState(cancelEvent);
    if (DiscoveryRun(m_discovery, refreshEvent, cancelEvent)) {
        Trace("[plexa] updating state object\n");
        RebuildNow(collecting);
    } else {
        raii::CLock lock(m_lock);
        m_tree->RemoveAll();
    }
    Trace("[plexa] returning\n");
    return m_tree.get();
}

void CPlexaFront::Cleanup()
{
    raii::CLock lock(m_lock);
    DiscoveryDestroy(m_discovery);
    m_discovery = nullptr;
    m_tree.reset();
    m_names.reset();
}

const char* CPlexaFront::GetShareableOptions()
{
    raii::CLock lock(m_lock);
    m_options = m_names ? FormatShareableOptions(m_names->Entries()) : std::string();
    return m_options.c_str();
}

void CPlexaFront::SetShareableOptions(const std::string& options)
{
    std::vector<tSharedName> names = ParseShareableOptions(options);
    raii::CLock lock(m_lock);
    if (!m_names || !m_discovery)
        return;
    size_t stored = m_names->Entries().size();
    for (const tSharedName& shared : names) {
        // The store does not grow past its bound by what other PCs send.
        bool known = !m_names->NameOf(shared.address).empty();
        if (!known && stored >= kMaxSharedNames)
            continue;
        if (m_names->SetName(shared.address, shared.name) && !known)
            ++stored;
        SetEvent(m_discovery->changeEvent);
    }
}

CPlexaFront::tDeviceLookup CPlexaFront::LookUp(int32_t id)
{
    tDeviceLookup result;
    raii::CLock lock(m_lock);
    if (!m_tree)
        return result;
    int32_t block = id / ID_BLOCK * ID_BLOCK;
    CItem* address = m_tree->FindItem(block + ID_OFFSET_MAC);
    if (!address)
        return result;
    result.found = true;
    result.address = address->GetValue();
    if (auto device = dynamic_cast<CDeviceItem*>(m_tree->FindItem(block))) {
        result.baseUrl = device->GetBaseUrl();
        result.streamUrl = device->GetStreamUrl();
    }
    return result;
}

void CPlexaFront::OnRename(HWND window, int32_t id, bool* optionsChanged)
{
    CPlexaFront& self = Instance();
    tDeviceLookup device = self.LookUp(id);
    tMacAddress address;
    if (!device.found || !MacFromText(device.address, address) || !self.m_names)
        return;
    std::string name = self.m_names->NameOf(address);
    if (!self.m_prompt(window, self.m_module, self.Text(IDS_NAME_CAPTION), self.Text(IDS_NAME_PROMPT), name,
                       kMaxNameLength))
        return;
    self.m_names->SetName(address, name);
    if (self.m_discovery)
        SetEvent(self.m_discovery->changeEvent);
    if (optionsChanged)
        *optionsChanged = true;
}

void CPlexaFront::OnStartWizard(HWND, int32_t, bool*)
{
    xUtilStartInstalledProgram(kWizardProduct, kWizardFile);
}

void CPlexaFront::OnControlDevice(HWND, int32_t id, bool*)
{
    tDeviceLookup device = Instance().LookUp(id);
    if (!IsPlainCommandText(device.baseUrl))
        return;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return;
    raii::CRegKey key(opened);
    char command[261] = "";
    DWORD size = 260, type = 0;
    if (RegQueryValueExA(key.Get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(command), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return;
    command[size < 260 ? size : 260] = '\0';
    WinExec(BrowserCommand(command, device.baseUrl).c_str(), SW_SHOWNORMAL);
}

void CPlexaFront::OnPlayMediaPlayer(HWND, int32_t id, bool*)
{
    tDeviceLookup device = Instance().LookUp(id);
    std::string player = FindMediaPlayer();
    if (!IsPlainCommandText(device.streamUrl) || player.empty())
        return;
    xUtilStartProgram(player.c_str(), ("/play " + xUtilQuoteArgument(device.streamUrl)).c_str(), nullptr, 0, nullptr);
}

void CPlexaFront::OnPlayWinamp(HWND, int32_t id, bool*)
{
    tDeviceLookup device = Instance().LookUp(id);
    std::string winamp = FindWinamp();
    if (!IsPlainCommandText(device.streamUrl) || winamp.empty())
        return;
    xUtilStartProgram(winamp.c_str(), xUtilQuoteArgument(device.streamUrl).c_str(), nullptr, 0, nullptr);
}
