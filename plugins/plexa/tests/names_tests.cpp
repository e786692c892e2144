#include <gtest/gtest.h>

#include "common/tests/test_support.h"
#include "plugins/plexa/names.h"

namespace {

tMacAddress Mac(const char* text)
{
    tMacAddress a;
    MacFromText(text, a);
    return a;
}

} // namespace

TEST(Names, StoreAndShareableOptionsRoundTrip)
{
    testsupport::CTempDir dir;
    CNamesStore store(dir.File("plexa.ini"));
    EXPECT_EQ("", store.NameOf(Mac("02:00:00:00:00:01")));
    ASSERT_TRUE(store.SetName(Mac("02:00:00:00:00:01"), "Kitchen"));
    ASSERT_TRUE(store.SetName(Mac("02:00:00:00:00:02"), "Living room"));
    store.Ini().WriteString("other", "x", "y");
    std::string text = FormatShareableOptions(store.Entries());
    EXPECT_EQ("devicenames.02:00:00:00:00:01=Kitchen\ndevicenames.02:00:00:00:00:02=Living room\n", text);

    std::vector<tSharedName> names = ParseShareableOptions(text);
    ASSERT_EQ(2u, names.size());
    EXPECT_EQ(Mac("02:00:00:00:00:02"), names[1].address);
    EXPECT_EQ("Living room", names[1].name);

    testsupport::CTempDir other;
    CNamesStore peer(other.File("plexa.ini"));
    for (const tSharedName& n : names)
        peer.SetName(n.address, n.name);
    EXPECT_EQ(text, FormatShareableOptions(peer.Entries())) << "the same names on the other PC";
}

TEST(Names, LinesWithoutEqualsAreSkippedAndBlanksTrimmed)
{
    testsupport::CTempDir dir;
    testsupport::WriteFileText(dir.File("plexa.ini"),
                               "[devicenames]\r\n  02:00:00:00:00:01 =  Hall  \r\nbroken line\r\n");
    CNamesStore store(dir.File("plexa.ini"));
    EXPECT_EQ("devicenames.02:00:00:00:00:01=Hall\n", FormatShareableOptions(store.Entries()));
}

TEST(Names, TextFromAnotherPcIsBounded)
{
    std::string text =
        "devicenames.02:00:00:00:00:01=Good\n"
        "othersection.02:00:00:00:00:02=Injected\n"   // another section
        "devicenames.DeviceNames=Injected\n"           // no station address
        "devicenames.021234569ABC=Injected\n"          // not the colon form
        "devicenames.02:00:00:00:00:03=" + std::string(201, 'x') + "\n"
        "devicenames.02:00:00:00:00:04=" + std::string(200, 'y') + "\n"
        "devicenames.02:00:00:00:00:05=tab\tinside\n"
        "devicenames.02:00:00:00:00:06=windows line\r\n"
        "devicenames.02:00:00:00:00:07=[evil]\n"
        "devicenames.02:00:00:00:00:08=no line feed";
    std::vector<tSharedName> names = ParseShareableOptions(text);
    ASSERT_EQ(4u, names.size());
    EXPECT_EQ("Good", names[0].name);
    EXPECT_EQ(Mac("02:00:00:00:00:04"), names[1].address);
    EXPECT_EQ(200u, names[1].name.size());
    EXPECT_EQ("windows line", names[2].name);
    EXPECT_EQ("[evil]", names[3].name) << "a harmless value: it stays a value";

    std::string flood;
    for (int i = 0; i < 1000; ++i) {
        char key[32];
        snprintf(key, sizeof key, "02:00:00:00:%02X:%02X", i >> 8, i & 0xFF);
        flood += std::string("devicenames.") + key + "=n\n";
    }
    EXPECT_EQ(kMaxSharedNames, ParseShareableOptions(flood).size());
    EXPECT_TRUE(ParseShareableOptions("no dot here").empty());
    EXPECT_TRUE(ParseShareableOptions("devicenames.no equals\n").empty());
    EXPECT_TRUE(ParseShareableOptions("").empty());
}
