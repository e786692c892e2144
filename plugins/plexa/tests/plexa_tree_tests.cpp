#include <gtest/gtest.h>

#include "plugins/plexa/device_item.h"
#include "plugins/plexa/plexa_tree.h"

namespace {

tMacAddress Mac(const char* text)
{
    tMacAddress a;
    MacFromText(text, a);
    return a;
}

void Rename(HWND, int32_t, bool*) {}
void Control(HWND, int32_t, bool*) {}
void Play(HWND, int32_t, bool*) {}

const tPlexaTexts kTexts = {"Brindle Plexa", "Brindle Plexa Audio", "Brindle Plexa HS Ethernet",
                            "Connection rate", "MAC address", "IP address", "Device",
                            "via the power supply grid", "Playing audio on channel %d",
                            "Recording audio on channel %d"};

tPlexaMenus Menus()
{
    tPlexaMenus menus;
    menus.device = {{"&Rename", Rename}};
    menus.audio = {{"&Rename", Rename}, {"", nullptr}, {"&Control device", Control}};
    menus.audioStream = {{"&Rename", Rename}, {"", nullptr}, {"&Control device", Control},
                         {"Play with Windows &Media Player", Play}};
    return menus;
}

tDeviceSet OneLinkNetwork()
{
    tDeviceSet set;
    tLocalDevice local;
    local.address = Mac("02:00:00:00:00:01");
    tRemoteDevice remote;
    remote.address = Mac("02:00:00:00:00:02");
    remote.rate = NetStatRate(519);
    local.remotes.push_back(remote);
    set.locals.push_back(local);
    return set;
}

std::string Child(CItem* item, int32_t id)
{
    CItem* child = item ? item->GetChildren().FindItem(id) : nullptr;
    return child ? child->GetName() + "=" + child->GetValue() : "<none>";
}

} // namespace

TEST(PlexaTree, UnnamedLocalAndRemoteDevice)
{
    tDeviceSet set = OneLinkNetwork();
    CState root;
    RebuildTree(root, {&set}, kTexts, Menus(), nullptr, nullptr);
    ASSERT_EQ(2, root.GetCount());
    CItem* local = root.GetAt(0);
    EXPECT_EQ(1000, local->GetId());
    EXPECT_EQ("Brindle Plexa", local->GetName());
    EXPECT_EQ(12, local->GetIcon());
    EXPECT_EQ(1, local->GetChildren().GetCount());
    EXPECT_EQ("MAC address=02:00:00:00:00:01", Child(local, 1002));

    CItem* remote = root.GetAt(1);
    EXPECT_EQ(2000, remote->GetId());
    EXPECT_EQ("Brindle Plexa (via the power supply grid)", remote->GetName());
    EXPECT_EQ(13, remote->GetIcon());
    ASSERT_EQ(2, remote->GetChildren().GetCount());
    EXPECT_EQ(2002, remote->GetChildren().GetAt(0)->GetId());
    EXPECT_EQ("MAC address=02:00:00:00:00:02", Child(remote, 2002));
    EXPECT_EQ("Connection rate=14 MBit/s", Child(remote, 2001));
    EXPECT_EQ(4, remote->GetChildren().FindItem(2001)->GetIcon());
    ASSERT_NE(nullptr, remote->GetActions());
    EXPECT_EQ(1u, remote->GetActions()->size()) << "the device menu";
    EXPECT_EQ(remote->GetActions()->size(), remote->GetChildren().GetAt(0)->GetActions()->size())
        << "children carry their top row's menu";
}

TEST(PlexaTree, NamedDevicesShowTheirKindBelow)
{
    tDeviceSet set = OneLinkNetwork();
    set.locals[0].kind = 1;
    set.locals[0].remotes[0].hs = 1;
    CState root;
    RebuildTree(root, {&set}, kTexts, Menus(), [](const tMacAddress& a) {
        return a == Mac("02:00:00:00:00:01") ? std::string("Office") : std::string("Attic");
    }, nullptr);
    CItem* local = root.GetAt(0);
    EXPECT_EQ("Office", local->GetName());
    EXPECT_EQ(14, local->GetIcon());
    EXPECT_EQ(1004, local->GetChildren().GetAt(0)->GetId());
    EXPECT_EQ("Device=Brindle Plexa HS Ethernet", Child(local, 1004));
    CItem* remote = root.GetAt(1);
    EXPECT_EQ("Attic (via the power supply grid)", remote->GetName());
    EXPECT_EQ(15, remote->GetIcon());
    EXPECT_EQ("Device=Brindle Plexa HS Ethernet", Child(remote, 2004));
}

TEST(PlexaTree, AudioDeviceWithAStream)
{
    tDeviceSet set = OneLinkNetwork();
    tAudioDevice audio;
    audio.address = Mac("02:00:00:00:00:02");
    audio.ipv4 = 0x0500A8C0; // 192.168.0.5
    audio.stream = 1;
    audio.state = 0;
    audio.baseUrl = "http://192.168.0.5/";
    audio.streamUrl = "http://192.168.0.5:8000/live";
    set.audios.push_back(audio);
    std::vector<std::pair<std::string, std::string>> recorded;
    CState root;
    RebuildTree(root, {&set}, kTexts, Menus(), nullptr, [&](const tLocalDevice& l, const tRemoteDevice& r) {
        recorded.emplace_back(MacToText(l.address, ":"), MacToText(r.address, ":"));
    });
    CItem* remote = root.GetAt(1);
    EXPECT_EQ("Brindle Plexa Audio (via the power supply grid)", remote->GetName());
    EXPECT_EQ("IP address=192.168.0.5", Child(remote, 2003));
    EXPECT_EQ("Recording audio on channel 1=", Child(remote, 2005));
    EXPECT_EQ(17, remote->GetChildren().FindItem(2005)->GetIcon());
    std::vector<int32_t> order;
    for (int i = 0; i < remote->GetChildren().GetCount(); ++i)
        order.push_back(remote->GetChildren().GetAt(i)->GetId());
    EXPECT_EQ((std::vector<int32_t>{2002, 2003, 2005, 2001}), order);
    EXPECT_EQ(4u, remote->GetActions()->size()) << "the audio stream menu";
    auto device = dynamic_cast<CDeviceItem*>(remote);
    ASSERT_NE(nullptr, device);
    EXPECT_EQ("http://192.168.0.5/", device->GetBaseUrl());
    EXPECT_EQ("http://192.168.0.5:8000/live", device->GetStreamUrl());
    EXPECT_EQ(1u, recorded.size());

    // Without a stream: the playing text and the audio menu; without an address: the device menu.
    set.audios[0].stream = 0;
    set.audios[0].state = 2;
    root.RemoveAll();
    RebuildTree(root, {&set}, kTexts, Menus(), nullptr, nullptr);
    EXPECT_EQ("Playing audio on channel 3=", Child(root.GetAt(1), 2005));
    EXPECT_EQ(3u, root.GetAt(1)->GetActions()->size());
    set.audios[0].ipv4 = 0;
    root.RemoveAll();
    RebuildTree(root, {&set}, kTexts, Menus(), nullptr, nullptr);
    EXPECT_EQ(1u, root.GetAt(1)->GetActions()->size());
}

TEST(PlexaTree, IdBlocksCountAcrossAdaptersAndDevices)
{
    tDeviceSet first = OneLinkNetwork();
    tRemoteDevice another;
    another.address = Mac("02:00:00:00:00:03");
    first.locals[0].remotes.push_back(another);
    tDeviceSet second = OneLinkNetwork();
    second.locals[0].address = Mac("02:00:00:00:00:11");
    CState root;
    RebuildTree(root, {&first, nullptr, &second}, kTexts, Menus(), nullptr, nullptr);
    std::vector<int32_t> ids;
    for (int i = 0; i < root.GetCount(); ++i)
        ids.push_back(root.GetAt(i)->GetId());
    EXPECT_EQ((std::vector<int32_t>{1000, 2000, 3000, 4000, 5000}), ids)
        << "remote devices are top rows beside the local device they were heard through";
}

TEST(PlexaTree, RatesAndTranslatedTexts)
{
    EXPECT_EQ("14 MBit/s", FormatRate(13.971));
    EXPECT_EQ("86 MBit/s", FormatRate(85.5));
    EXPECT_EQ("Kanal 3", FormatCount("Kanal %d", 3));
    EXPECT_EQ("no number %s", FormatCount("no number %s", 3)) << "only %d is filled";
    EXPECT_EQ("x", FormatCount("x", 3));
}
