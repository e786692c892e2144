// The about box: product name, picture, version and link date of the program, the maker and
// its web address. OK is the default button and has the focus, so Enter closes the box; the
// link opens only when it is clicked or has been tabbed to.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/ui/dialog.h"

// "Version 2.01.0412 (date)" from the program's version resource and link date.
std::string AboutVersionText(HINSTANCE instance);

class CAboutBox : public ui::CDialog {
public:
    explicit CAboutBox(HINSTANCE instance);

    // Opens the link's address; the browser by default, tests replace it.
    std::function<void(const std::string& url)> m_openUrl;

protected:
    bool OnInitDialog() override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;
};
