// The small dialogs of the main window: a share's name and folder, a host added by hand, the
// about box and the splash picture.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/ui/dialog.h"

// Shows a message of the string table with the program's title, OK and an exclamation mark.
void ShowInputError(HWND owner, HINSTANCE instance, unsigned textId);

// Share dialog (132): on OK the fields hold an acceptable share.
class CShareDialog : public ui::CDialog {
public:
    explicit CShareDialog(HINSTANCE instance);
    std::string m_name;
    std::string m_path;

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnSaveData() override;
};

// Add host (140): the typed name or address, resolved on OK.
class CAddHostDialog : public ui::CDialog {
public:
    CAddHostDialog(HINSTANCE instance, std::vector<std::string> recent);
    std::string m_typed;
    uint32_t m_address = 0; // network byte order

protected:
    bool OnInitDialog() override;
    bool OnSaveData() override;

private:
    std::vector<std::string> m_recent;
};

class CAboutBox : public ui::CDialog {
public:
    explicit CAboutBox(HINSTANCE instance) : ui::CDialog(instance, 141) {}

protected:
    bool OnInitDialog() override;
};

// A borderless picture in the middle of the desktop for two seconds; returns at once.
void ShowSplash(HINSTANCE instance);
