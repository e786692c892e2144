#include "plugins/plexa/plexa_tree.h"

#include <stdio.h>

#include "plugins/plexa/device_item.h"

namespace {

const tAudioDevice* AudioOf(const tDeviceSet& set, const tMacAddress& address)
{
    for (const tAudioDevice& audio : set.audios)
        if (audio.address == address)
            return &audio;
    return nullptr;
}

} // namespace

std::string FormatRate(double rate)
{
    char text[64];
    snprintf(text, sizeof text, "%.0f MBit/s", rate);
    return text;
}

std::string FormatCount(const std::string& format, int number)
{
    // Only one %d is filled; any other conversion in a translated text is left as it stands.
    std::string::size_type at = format.find("%d");
    if (at == std::string::npos)
        return format;
    return format.substr(0, at) + std::to_string(number) + format.substr(at + 2);
}

void RebuildTree(CState& root, const std::vector<tDeviceSet*>& adapters, const tPlexaTexts& texts,
                 const tPlexaMenus& menus, const tNameLookup& nameOf, const tRecordHook& record)
{
    int n = 0;
    for (const tDeviceSet* set : adapters) {
        if (!set)
            continue;
        for (const tLocalDevice& local : set->locals) {
            int32_t block = ID_BLOCK * n++ + ID_BLOCK;
            const std::string& kind = local.kind == 1 ? texts.kindHs : texts.kind;
            int32_t icon = local.kind == 1 ? 14 : 12;
            std::string name = nameOf ? nameOf(local.address) : std::string();
            CItem* top = new CItem(name.empty() ? kind : name, icon, "", block, menus.device);
            if (!name.empty())
                top->GetChildren().AddItem(new CItem(texts.device, 1, kind, block + ID_OFFSET_KIND, menus.device));
            top->GetChildren().AddItem(
                new CItem(texts.mac, 1, MacToText(local.address, ":"), block + ID_OFFSET_MAC, menus.device));
            root.AddItem(top);

            for (const tRemoteDevice& remote : local.remotes) {
                int32_t remoteBlock = ID_BLOCK * n++ + ID_BLOCK;
                const tAudioDevice* audio = AudioOf(*set, remote.address);
                const std::string& remoteKind = remote.hs == 1 ? texts.kindHs : audio ? texts.kindAudio : texts.kind;
                int32_t remoteIcon = remote.hs == 1 ? 15 : 13;
                const tItemActions& menu = !audio || audio->ipv4 == 0 ? menus.device
                                           : audio->stream == 1       ? menus.audioStream
                                                                      : menus.audio;
                std::string remoteName = nameOf ? nameOf(remote.address) : std::string();
                std::string shown = (remoteName.empty() ? remoteKind : remoteName) + " (" + texts.grid + ")";
                CItem* item = new CDeviceItem(shown, remoteIcon, "", remoteBlock, menu,
                                              audio ? audio->baseUrl : std::string(),
                                              audio ? audio->streamUrl : std::string());
                if (!remoteName.empty())
                    item->GetChildren().AddItem(new CItem(texts.device, 1, remoteKind, remoteBlock + ID_OFFSET_KIND, menu));
                item->GetChildren().AddItem(
                    new CItem(texts.mac, 1, MacToText(remote.address, ":"), remoteBlock + ID_OFFSET_MAC, menu));
                if (audio) {
                    item->GetChildren().AddItem(
                        new CItem(texts.ip, 1, Ipv4ToText(audio->ipv4), remoteBlock + ID_OFFSET_IP, menu));
                    const std::string& channel = audio->stream == 1 ? texts.recording : texts.playing;
                    item->GetChildren().AddItem(new CItem(FormatCount(channel, audio->state + 1),
                                                          audio->stream == 1 ? 17 : 16, "",
                                                          remoteBlock + ID_OFFSET_CHANNEL, menu));
                }
                item->GetChildren().AddItem(
                    new CItem(texts.rate, 4, FormatRate(remote.rate), remoteBlock + ID_OFFSET_RATE, menu));
                root.AddItem(item);
                if (record)
                    record(local, remote);
            }
        }
    }
}
