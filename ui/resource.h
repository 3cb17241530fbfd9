// Resource and control IDs of the program's dialogs and icon.
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDS_APP_TITLE 100
#define IDD_ORVANE_DIALOG 101
#define IDD_OPEN_SERIAL 102
#define IDR_MAINFRAME 128

// Main dialog (101)
#define IDC_BTN_PORT 1001
#define IDC_STATIC_PORT_STATE 1002
#define IDC_EDIT_ADDRESS 1003
#define IDC_RADIO_STANDBY 1004
#define IDC_RADIO_FIRMWARE 1005
#define IDC_RADIO_PROGRAM 1006
#define IDC_STATIC_MODE 1007
#define IDC_BTN_TEST 1008
#define IDC_BTN_OPEN_FILE 1009
#define IDC_BTN_START 1010
#define IDC_BTN_STOP 1011
#define IDC_STATIC_PROGRESS 1012
#define IDC_PROGRESS 1013
#define IDC_STATIC_STATE 1014
#define IDC_COMBO_BAUD 1015
#define IDC_EDIT_LOG 1016

// Port chooser (102)
#define IDC_COMBO_PORTS 1017
