#pragma once
// Ids of the program's resources, shared by the resource scripts and the code. Plain macros,
// because the resource compiler reads this file too.

// Dialog template of the main window and its controls, in template order.
#define IDD_UPDATE 100
#define IDC_EXIT 1  /* IDOK */
#define IDC_CLOSE 2 /* IDCANCEL */
#define IDC_UPDATE 1003
#define IDC_SHUTDOWN 1007
#define IDC_LATER 1008
#define IDC_BULLET 149
#define IDC_AC_PICTURE 1001
#define IDC_CAUTION_ICON 1002
#define IDC_MESSAGE 1004
#define IDC_CAUTION 1005
#define IDC_SPINNER 1006
#define IDC_VERSION 1009

// Application icon group.
#define IDI_KELVANE 128

// PNG pictures, resource type "IMG". There is no picture 149.
#define IMG_BACKGROUND 129
#define IMG_CLOSE_NORMAL 130
#define IMG_CLOSE_PRESSED 131
#define IMG_CLOSE_HOVER 132
#define IMG_CLOSE_DISABLED 133
#define IMG_MARKER 134
#define IMG_AC_PICTURE 135
#define IMG_CAUTION 136
#define IMG_BUTTON_NORMAL 137
#define IMG_BUTTON_PRESSED 138
#define IMG_BUTTON_HOVER 139
#define IMG_BUTTON_DISABLED 140
#define IMG_SPINNER_FIRST 141
#define IMG_SPINNER_LAST 148
#define IMG_WIDE_FILLED 150
#define IMG_WIDE_LIGHT 151
#define IMG_WIDE_HOVER 152
#define IMG_WIDE_PRESSED 153
