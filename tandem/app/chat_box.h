// The chat box at the bottom left of the main window: the history of received messages, the
// message edit and the Send button (dialog 1025, a child of the main window).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/ui/dialog.h"

class CChatBox : public ui::CDialog {
public:
    // send: called with the typed text (never empty).
    // send answers false when the message could not be taken; it then stays in the edit.
    CChatBox(HINSTANCE instance, std::function<bool(const std::string&)> send);

    bool Create(HWND parent);
    // Reads the message edit and hands it to send: the Send button and command 40020.
    void SendTyped();
    // Adds "name: text" at the end, dropping the oldest lines beyond the history limit.
    void AddLine(const std::string& line);
    std::string History() const;

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void Layout();

    std::function<bool(const std::string&)> m_send;
};
