#pragma once
// Resource and control identifiers, shared by the .rc files and the code.

#define IDI_APP 128
#define IDD_MAIN 129
#define IDD_ABOUT 100
#define IDD_BASE64 201
#define IDS_BROWSE_TITLE 1
#define IDS_PANE_COPY 2
#define IDS_PANE_SELECT_ALL 3
#define IDS_PANE_NAME 20
#define IDS_JOB_END_LINE 21
#define IDS_JOB_END_LINES 22
// Names for assistive technology of controls whose text is no name.
#define IDS_NAME_PATH 30
#define IDS_NAME_BROWSE 31
#define IDS_NAME_PROGRESS 32
#define IDS_NAME_BASE64_INPUT 33
#define IDS_NAME_BASE64_OUTPUT 34

// Main dialog
#define IDC_MD5 1000
#define IDC_SHA1 1001
#define IDC_CRC32 1002
#define IDC_SHA256 1014
#define IDC_SHA512 1016
#define IDC_SUBDIRECTORY 1003
#define IDC_PROGRESS 1004
#define IDC_OUTPUT 1005
#define IDC_PATH 1006
#define IDC_BROWSE 1007
#define IDC_BASE64 1008
#define IDC_CLEAR 1013
#define IDC_ABOUT 57664
// The output pane's window class (ui/ResultPane.h).
#define RESULT_PANE_CLASS "DunmoResultPane"

// Base64 dialog
#define IDC_BASE64_INPUT 1009
#define IDC_ENCODE 1010
#define IDC_BASE64_OUTPUT 1011
#define IDC_DECODE 1012

// About dialog
#define IDC_ABOUT_OK 1015
