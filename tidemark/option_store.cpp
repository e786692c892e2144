#include "tidemark/option_store.h"

#include "common/registry.h"

const char kOptionsKey[] = "software\\velmora\\tidemark";

namespace {

struct tOptionValue {
    const char* name;
    bool tCleanOptions::*flag;
};

const tOptionValue kValues[] = {
    {"delcookies", &tCleanOptions::cookies},     {"deltempfiles", &tCleanOptions::tempFiles},
    {"delhistory", &tCleanOptions::history},     {"delmrus", &tCleanOptions::recentLists},
    {"delform", &tCleanOptions::formData},       {"delpwd", &tCleanOptions::passwords},
};

} // namespace

tCleanOptions LoadCleanOptions()
{
    tCleanOptions options;
    CRegistryKey key;
    if (!key.Open(HKEY_CURRENT_USER, kOptionsKey, KEY_READ))
        return options;
    for (const tOptionValue& value : kValues) {
        DWORD stored = 1;
        key.GetDword(value.name, stored);
        options.*value.flag = stored != 0;
    }
    return options;
}

bool SaveCleanOptions(const tCleanOptions& options)
{
    CRegistryKey key;
    if (!key.Create(HKEY_CURRENT_USER, kOptionsKey))
        return false;
    bool ok = true;
    for (const tOptionValue& value : kValues)
        ok = key.SetDword(value.name, options.*value.flag ? 1 : 0) && ok;
    return ok;
}
