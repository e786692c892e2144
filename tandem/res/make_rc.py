#!/usr/bin/env python3
"""Writes tandem's resource scripts, one per language (tandem_en.rc ... tandem_nl.rc), from the
texts in texts.py and the layouts below. Run it after changing a text or a layout; the build
uses the written files.

Usage: make_rc.py [OUTPUT_FOLDER]   (default: this folder)"""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from texts import LANGUAGES, STRINGS, UI  # noqa: E402

TEMPLATE = r'''// tandem texts: {language}. Written by make_rc.py from texts.py; edit those.
#pragma code_page(65001)
LANGUAGE {lang_id}

IDM_MAIN MENU
BEGIN
    POPUP "{file}"
    BEGIN
        MENUITEM "{download}", ID_DOWNLOAD
        MENUITEM SEPARATOR
        MENUITEM "{add_share}", ID_ADD_SHARE
        MENUITEM "{remove_share}", ID_REMOVE_SHARE
        MENUITEM "{share_properties}", ID_SHARE_PROPERTIES
        MENUITEM SEPARATOR
        MENUITEM "{add_host}", ID_ADD_HOST
        MENUITEM "{remove_host}", ID_REMOVE_HOST
        MENUITEM "{refresh}", ID_REFRESH
        MENUITEM SEPARATOR
        MENUITEM "{close}", ID_CLOSE
    END
    POPUP "{tools}"
    BEGIN
        MENUITEM "{options}", ID_OPTIONS
    END
    POPUP "{help}"
    BEGIN
        MENUITEM "{help_topics}", ID_HELP_TOPICS
        MENUITEM SEPARATOR
        MENUITEM "{about}", ID_ABOUT
    END
END

IDM_FILELIST MENU
BEGIN
    POPUP "list"
    BEGIN
        MENUITEM "{download}", ID_DOWNLOAD
    END
END

IDM_TREE MENU
BEGIN
    POPUP "tree"
    BEGIN
        MENUITEM "{add_share}", ID_ADD_SHARE
        MENUITEM "{remove_share}", ID_REMOVE_SHARE
        MENUITEM "{add_host}", ID_ADD_HOST
        MENUITEM "{remove_host}", ID_REMOVE_HOST
        MENUITEM "{refresh}", ID_REFRESH
        MENUITEM "{share_properties}", ID_SHARE_PROPERTIES
    END
END

IDM_TRANSFERS MENU
BEGIN
    POPUP "transfers"
    BEGIN
        MENUITEM "{cancel_transfer}", ID_CANCEL_TRANSFER
    END
END

IDD_CHAT DIALOGEX 0, 0, 180, 120
STYLE DS_SHELLFONT | DS_CONTROL | WS_CHILD | WS_CLIPSIBLINGS
FONT 8, "MS Shell Dlg"
BEGIN
    GROUPBOX "{chat}", IDC_CHAT_GROUP, 0, 0, 180, 120
    EDITTEXT IDC_CHAT_HISTORY, 5, 11, 170, 84, ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP
    EDITTEXT IDC_CHAT_MESSAGE, 5, 100, 125, 14, ES_AUTOHSCROLL | WS_TABSTOP
    DEFPUSHBUTTON "{send}", IDC_CHAT_SEND, 135, 100, 40, 14
END

IDD_SHARE DIALOGEX 0, 0, 260, 96
STYLE DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "{share_caption}"
FONT 8, "MS Shell Dlg"
BEGIN
    GROUPBOX "{share_group}", -1, 7, 7, 246, 60
    LTEXT "{name_label}", -1, 15, 22, 50, 10
    EDITTEXT IDC_SHARE_NAME, 68, 20, 177, 14, ES_AUTOHSCROLL
    LTEXT "{path_label}", -1, 15, 44, 50, 10
    EDITTEXT IDC_SHARE_PATH, 68, 42, 117, 14, ES_AUTOHSCROLL
    PUSHBUTTON "{browse}", IDC_BROWSE, 189, 42, 56, 14
    DEFPUSHBUTTON "{ok}", IDOK, 145, 74, 50, 14
    PUSHBUTTON "{cancel}", IDCANCEL, 203, 74, 50, 14
END

IDD_GENERAL DIALOGEX 0, 0, 240, 130
STYLE DS_SHELLFONT | WS_CHILD | WS_CAPTION | WS_DISABLED
CAPTION "{general}"
FONT 8, "MS Shell Dlg"
BEGIN
    GROUPBOX "{computer_group}", -1, 7, 7, 226, 50
    LTEXT "{computer_name}", -1, 15, 22, 210, 10
    EDITTEXT IDC_COMPUTER_NAME, 15, 34, 210, 14, ES_AUTOHSCROLL
    GROUPBOX "{sound_group}", -1, 7, 65, 226, 35
    AUTOCHECKBOX "{sounds}", IDC_SOUND, 15, 80, 210, 12
END

IDD_WIZ_WELCOME DIALOGEX 0, 0, 317, 193
STYLE DS_SHELLFONT | WS_CHILD | WS_DISABLED | WS_CAPTION
CAPTION "{title}"
FONT 8, "MS Shell Dlg"
BEGIN
    LTEXT "", IDC_WELCOME_TITLE, 115, 8, 195, 40
    LTEXT "", IDC_WELCOME_TEXT, 115, 54, 195, 30
    LTEXT "", IDC_WELCOME_MORE, 115, 88, 195, 50
    LTEXT "", IDC_WELCOME_NEXT, 115, 170, 195, 10
END

IDD_WIZ_NAME DIALOGEX 0, 0, 317, 143
STYLE DS_SHELLFONT | WS_CHILD | WS_DISABLED | WS_CAPTION
CAPTION "{title}"
FONT 8, "MS Shell Dlg"
BEGIN
    LTEXT "{computer_name}", -1, 21, 10, 275, 10
    EDITTEXT IDC_COMPUTER_NAME, 21, 24, 275, 14, ES_AUTOHSCROLL
    AUTOCHECKBOX "{share_now}", IDC_SHARE_NOW, 21, 54, 275, 12
END

IDD_WIZ_PATH DIALOGEX 0, 0, 317, 143
STYLE DS_SHELLFONT | WS_CHILD | WS_DISABLED | WS_CAPTION
CAPTION "{title}"
FONT 8, "MS Shell Dlg"
BEGIN
    LTEXT "{folder_label}", -1, 21, 10, 275, 10
    EDITTEXT IDC_SHARE_PATH, 21, 24, 211, 14, ES_AUTOHSCROLL
    PUSHBUTTON "{browse_plain}", IDC_BROWSE, 238, 24, 58, 14
END

IDD_WIZ_SHARE_NAME DIALOGEX 0, 0, 317, 143
STYLE DS_SHELLFONT | WS_CHILD | WS_DISABLED | WS_CAPTION
CAPTION "{title}"
FONT 8, "MS Shell Dlg"
BEGIN
    LTEXT "{name_label}", -1, 21, 10, 275, 10
    EDITTEXT IDC_SHARE_NAME, 21, 24, 275, 14, ES_AUTOHSCROLL
    LTEXT "{share_note}", IDC_SHARE_NOTE, 21, 48, 275, 20
END

IDD_WIZ_FINISH DIALOGEX 0, 0, 317, 193
STYLE DS_SHELLFONT | WS_CHILD | WS_DISABLED | WS_CAPTION
CAPTION "{title}"
FONT 8, "MS Shell Dlg"
BEGIN
    LTEXT "", IDC_FINISH_TITLE, 115, 8, 195, 40
    LTEXT "", IDC_FINISH_TEXT, 115, 54, 195, 40
END

IDD_ADD_HOST DIALOGEX 0, 0, 240, 80
STYLE DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "{add_host_caption}"
FONT 8, "MS Shell Dlg"
BEGIN
    LTEXT "{add_host_text}", -1, 7, 7, 226, 20
    COMBOBOX IDC_HOST_COMBO, 7, 32, 226, 120, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP
    DEFPUSHBUTTON "{ok}", IDOK, 125, 58, 50, 14
    PUSHBUTTON "{cancel}", IDCANCEL, 183, 58, 50, 14
END

IDD_ABOUT DIALOGEX 0, 0, 220, 80
STYLE DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU
CAPTION "{about_title}"
FONT 8, "MS Shell Dlg"
BEGIN
    ICON IDI_TANDEM, -1, 10, 10, 20, 20
    LTEXT "", IDC_ABOUT_PRODUCT, 42, 10, 170, 10
    LTEXT "", IDC_ABOUT_VERSION, 42, 24, 170, 10
    LTEXT "{copyright}", -1, 42, 38, 170, 18
    DEFPUSHBUTTON "{ok}", IDOK, 162, 60, 50, 14
END

STRINGTABLE
BEGIN
{strings}
END
'''


def rc_text(text):
    """A quote inside a resource script text is written twice."""
    return text.replace('"', '""')


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for index, (code, lang_id, language) in enumerate(LANGUAGES):
        values = {key: rc_text(texts[index]) for key, texts in UI.items()}
        values["title"] = STRINGS["IDS_TITLE"][index]
        values["about_title"] = STRINGS["IDS_ABOUT_TITLE"][index]
        values["strings"] = "\n".join(f'    {name}, "{rc_text(texts[index])}"' for name, texts in STRINGS.items())
        text = TEMPLATE.format(language=language, lang_id=lang_id, **values)
        with open(os.path.join(out, f"tandem_{code}.rc"), "w", encoding="utf-8") as f:
            f.write(text)


if __name__ == "__main__":
    main()
