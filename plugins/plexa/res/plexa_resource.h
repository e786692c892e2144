// Resource ids of plexa.dll: the name dialog and the string table.
#pragma once

#define IDD_DEVICE_NAME 10009
#define IDC_NAME_PROMPT 10004
#define IDC_NAME_EDIT 10008

#define IDS_KIND 1
#define IDS_KIND_AUDIO 2
#define IDS_KIND_HS 3
#define IDS_RATE 4
#define IDS_MAC 5
#define IDS_IP 6
#define IDS_MENU_WIZARD 7
#define IDS_MENU_RENAME 8
#define IDS_NAME_CAPTION 9
#define IDS_NAME_PROMPT 10
#define IDS_DEVICE 12
#define IDS_VIA_GRID 13
#define IDS_PLAYING 14
#define IDS_RECORDING 15
#define IDS_MENU_CONTROL 16
#define IDS_MENU_WMP 17
#define IDS_MENU_WINAMP 18
