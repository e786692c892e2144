// Resource ids of dialtrack.dll. The string ids are the plug-in's own numbering; the dialog and
// control ids of the statistics window are fixed as well.
#pragma once

#define IDS_APP_NAME 1
#define IDS_UPLOAD_RATE 11
#define IDS_DOWNLOAD_RATE 12
#define IDS_DAY 15
#define IDS_DAYS 16
#define IDS_DURATION 17
#define IDS_CONNECTION_NAME 18
#define IDS_KBYTES_PER_SECOND 19
#define IDS_CONNECTION_MONITOR 20
#define IDS_SHOW_STATISTICS 21
#define IDS_CONNECT 22
#define IDS_DOWNLOAD 23
#define IDS_UPLOAD 25
#define IDS_MB 27
#define IDS_STATISTICS_TITLE 29
#define IDS_OVERVIEW 30
#define IDS_CURRENT_MONTH 31
#define IDS_TOTAL_DURATION 32
#define IDS_TOTAL_VOLUME 35
#define IDS_TOTAL_RECEIVED 36
#define IDS_TOTAL_SENT 37
#define IDS_DELETE_ALL_QUESTION 38
#define IDS_DELETE_ALL_TITLE 39
#define IDS_DELETE_MENU 40
#define IDS_DELETE_ENTRIES_QUESTION 41
#define IDS_DELETE_CALLS_TITLE 42
#define IDS_DELETE_ENTRY_QUESTION 43
#define IDS_DISCONNECT 44
// Texts of the statistics window beyond the fixed ones.
#define IDS_CHART_SENT 45
#define IDS_CHART_RECEIVED 46
#define IDS_CHANGE_FAILED 48

#define IDD_INDIVIDUAL_OVERVIEW 4096
#define IDC_CALL_LIST 4098
#define IDD_MONTHLY_OVERVIEW 4100
#define IDC_MONTH_DURATION 4101
#define IDC_MONTH_RECEIVED 4102
#define IDC_MONTH_SENT 4103
#define IDC_MONTH_VOLUME 4104
#define IDC_MONTH_GROUP 4105
#define IDC_MONTH_LIST 4106
#define IDC_MONTH_VALUES 4107
#define IDC_DELETE_STATISTIC 4108
#define IDC_CHART_GROUP 4109
#define IDC_CHART 4110

#define ID_DELETE_CALLS 40001
