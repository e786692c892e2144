// Resource and command ids of watchpost. Other programs and the plug-ins rely on the command
// ids (1212 brings the window to the front; row menu entries start at 2000).
#pragma once

#define IDI_WATCHPOST 1
#define IDB_STATUS4 4
#define IDB_STATUS8 5
#define IDB_STATUS32 6

#define IDC_TREE 1000
#define IDC_EMPTY_STATE 1001
#define IDD_GENERAL 1100
#define IDC_SHARED_OPTIONS 1101
#define IDD_CONNECTIONS 1102
#define IDC_COLLECTING 1103
#define IDC_NOTICES 1104

#define IDM_MAIN 1200
#define IDM_TRAY 1201
#define IDA_MAIN 1202

#define ID_DEVICE_CLOSE 1210
#define ID_HELP_ABOUT 1211
#define ID_TRAY_SHOW 1212
#define ID_VIEW_TOPMOST 1213
#define ID_VIEW_TRAY 1214
#define ID_VIEW_OPTIONS 1215
#define ID_TRAY_REMOVE 1216
// Keyboard only (F10, Shift+F10): open the menu bar, open the selected row's menu.
#define ID_KEY_MENUBAR 1217
#define ID_KEY_ROWMENU 1218
#define ID_ROW_ACTION_FIRST 2000

#define IDS_TITLE 3000
#define IDS_ABOUT_TITLE 3001
#define IDS_OPTIONS 3002
#define IDS_VERSION_FORMAT 3003
#define IDS_EMPTY_STATE 3004
#define IDS_TIP_NONE 3005
#define IDS_TIP_ONE 3006
#define IDS_TIP_MANY 3007
#define IDS_NOTICE_FOUND 3008
#define IDS_NOTICE_GONE 3009
#define IDS_NOTICE_MORE 3010

#define IDD_ABOUT 11000
#define IDB_ABOUT 11001
#define IDC_ABOUT_PRODUCT 11002
#define IDC_ABOUT_VERSION 11003
#define IDC_ABOUT_MAKER 11004
#define IDC_ABOUT_LINK 11005
#define IDC_ABOUT_PICTURE 11006
