#include "common/ui/message_box.h"

#include "common/raii.h"
#include "common/strings.h"

namespace ui {

namespace {

struct tHookSlot {
    raii::CCriticalSection lock;
    tMessageHook hook;
};

tHookSlot& Hook()
{
    static tHookSlot slot;
    return slot;
}

} // namespace

void SetMessageHook(tMessageHook hook)
{
    raii::CLock lock(Hook().lock);
    Hook().hook = std::move(hook);
}

int ShowMessage(HWND owner, const std::string& text, const std::string& caption, UINT flags)
{
    tMessageHook hook;
    {
        raii::CLock lock(Hook().lock);
        hook = Hook().hook;
    }
    if (hook)
        return hook(owner, text, caption, flags);
    return MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

int ShowMessage(HWND owner, HINSTANCE instance, UINT textId, UINT captionId, UINT flags)
{
    return ShowMessage(owner, xUtilLoadString(instance, textId),
                       xUtilLoadString(instance, captionId), flags);
}

} // namespace ui
