#pragma once

// Identifiers of the program's resources, dialogs, controls and commands. Code refers to
// resources only through these names; the numbers are fixed.

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_SYNC_DIALOG 102

// Strings
#define IDS_SOCKETS_INIT_FAILED 103

// Icons
#define IDR_MAINFRAME 128
#define IDI_ABOUT 130

// Bitmaps
#define IDB_SKIN 131
#define IDB_GET 137
#define IDB_SET 138
#define IDB_MINIMIZE 139
#define IDB_ABOUT 140
#define IDB_CLOSE 141

// Cursors
#define IDC_HAND_PRESSED 142
#define IDC_HAND 143

// The clock font, resource type "TTF"
#define IDR_SEGMATIC 136
#define RT_TTF "TTF"

// Controls of the main window (dialog 102)
#define IDOK 1
#define IDCANCEL 2
#define IDC_STATIC_SKIN 1000
#define IDC_EDIT_LOG 1001
#define IDC_EDIT_TIME 1002
#define IDC_BTN_ADJUST 1003
#define IDC_COMBO_SERVER 1004
#define IDC_BTN_ABOUT 1005
#define IDC_CLOCK 1007
#define IDC_BTN_MINIMIZE 1008
#define IDC_STATIC_FRAME 1009

// Controls of the About box (dialog 100)
#define IDC_PRODUCT 1000
#define IDC_LINK_HOME 1263
#define IDC_LINK_MAIL 1264

// Window menu command
#define IDM_ABOUTBOX 0x0010
