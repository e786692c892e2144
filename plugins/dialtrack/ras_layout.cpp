#include "plugins/dialtrack/ras_layout.h"

namespace {

// The three forms of RASCONNA, with the handle of either width; only their layout is used. The
// system's header packs them to 4 bytes, so a 64-bit handle follows the size word directly.
#pragma pack(push, 4)
template <class tHandle>
struct tRasConnOld {
    uint32_t dwSize;
    tHandle hrasconn;
    char szEntryName[kRasMaxEntryName + 1];
    char szDeviceType[kRasMaxDeviceType + 1];
    char szDeviceName[kRasMaxDeviceName + 1];
};

template <class tHandle>
struct tRasConnW2k : tRasConnOld<tHandle> {
    char szPhonebook[260];
    uint32_t dwSubEntry;
    uint32_t guidEntry[4];
};

template <class tHandle>
struct tRasConnLater : tRasConnW2k<tHandle> {
    uint32_t dwFlags;
    uint32_t luid[2];
};
#pragma pack(pop)

template <class tHandle>
tRasEntryLayout Layout(tRasEntryForm form)
{
    using tOld = tRasConnOld<tHandle>;
    size_t stride = form == RAS_ENTRY_OLD   ? sizeof(tOld)
                    : form == RAS_ENTRY_W2K ? sizeof(tRasConnW2k<tHandle>)
                                            : sizeof(tRasConnLater<tHandle>);
    return {stride, offsetof(tOld, hrasconn), sizeof(tHandle), offsetof(tOld, szEntryName),
            offsetof(tOld, szDeviceType), offsetof(tOld, szDeviceName)};
}

static_assert(sizeof(tRasConnOld<uint32_t>) == 412, "the first entry form of 32-bit systems");
static_assert(sizeof(tRasConnW2k<uint32_t>) == 692, "the Windows 2000 entry of 32-bit systems");
static_assert(sizeof(tRasConnLater<uint32_t>) == 704, "the entry of later 32-bit systems");
static_assert(sizeof(tRasConnOld<uint64_t>) == 416 && sizeof(tRasConnLater<uint64_t>) == 708, "64-bit entries");

} // namespace

tRasEntryLayout RasEntryLayout(tRasEntryForm form, size_t handleSize)
{
    return handleSize == 8 ? Layout<uint64_t>(form) : Layout<uint32_t>(form);
}

tRasEntryLayout NativeRasEntryLayout(tRasEntryForm form)
{
    return RasEntryLayout(form, sizeof(void*));
}
