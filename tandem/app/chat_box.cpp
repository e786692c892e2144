#include "tandem/app/chat_box.h"

#include "tandem/chat_history.h"
#include "tandem/res/resource.h"

namespace {

const int kMessageLimit = 1024;

} // namespace

CChatBox::CChatBox(HINSTANCE instance, std::function<bool(const std::string&)> send)
    : ui::CDialog(instance, IDD_CHAT), m_send(std::move(send))
{
}

bool CChatBox::Create(HWND parent)
{
    return CreateModeless(parent);
}

bool CChatBox::OnInitDialog()
{
    SendItem(IDC_CHAT_MESSAGE, EM_LIMITTEXT, kMessageLimit);
    // The history is as long as the limit allows, plus the newest line.
    SendItem(IDC_CHAT_HISTORY, EM_LIMITTEXT, kChatHistoryLimit + 4096);
    Layout();
    return false;
}

bool CChatBox::OnCommand(WORD id, WORD, HWND)
{
    // Enter in the message edit presses the default button.
    if (id == IDC_CHAT_SEND || id == IDOK) {
        SendTyped();
        return true;
    }
    return id == IDCANCEL;
}

bool CChatBox::OnMessage(UINT message, WPARAM, LPARAM, INT_PTR& result)
{
    if (message == WM_SIZE) {
        Layout();
        result = 0;
        return true;
    }
    return false;
}

void CChatBox::Layout()
{
    RECT client;
    GetClientRect(m_hwnd, &client);
    int width = client.right;
    int height = client.bottom;
    RECT button = {0, 0, 40, 14};
    MapDialogRect(m_hwnd, &button);
    int edit = button.bottom;
    MoveWindow(Item(IDC_CHAT_GROUP), 0, 0, width, height, TRUE);
    MoveWindow(Item(IDC_CHAT_HISTORY), 7, 16, width - 14, height - edit - 30, TRUE);
    MoveWindow(Item(IDC_CHAT_MESSAGE), 7, height - edit - 8, width - button.right - 20, edit, TRUE);
    MoveWindow(Item(IDC_CHAT_SEND), width - button.right - 7, height - edit - 8, button.right, edit, TRUE);
}

void CChatBox::SendTyped()
{
    std::string text = ItemText(IDC_CHAT_MESSAGE);
    if (text.size() > static_cast<size_t>(kMessageLimit))
        text.resize(kMessageLimit);
    if (text.empty())
        return;
    if (!m_send(text)) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    SetItemText(IDC_CHAT_MESSAGE, "");
    SetFocus(Item(IDC_CHAT_MESSAGE));
}

std::string CChatBox::History() const
{
    return ItemText(IDC_CHAT_HISTORY);
}

void CChatBox::AddLine(const std::string& line)
{
    HWND history = Item(IDC_CHAT_HISTORY);
    SendMessageA(history, WM_SETREDRAW, FALSE, 0);
    std::string text = History();
    size_t cut = HistoryTrimCount(text);
    if (cut > 0) {
        SendMessageA(history, EM_SETSEL, 0, static_cast<LPARAM>(cut));
        SendMessageA(history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
        text.erase(0, cut);
    }
    std::string addition = HistoryAddition(text, line);
    int end = GetWindowTextLengthA(history);
    SendMessageA(history, EM_SETSEL, end, end);
    SendMessageA(history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(addition.c_str()));
    SendMessageA(history, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(history, nullptr, TRUE);
    SendMessageA(history, EM_SCROLLCARET, 0, 0);
}
