// Resource ids of Voxlink.exe, shared by the code and Voxlink.rc (windres reads
// this file too, so it holds plain #defines only).
#pragma once

// Dialog templates.
#define IDD_ABOUT 111
#define IDD_VOLUME_CONTROL 115
#define IDD_ADVANCED_SETTINGS 116
#define IDD_AUDIO_DEVICE_SETTINGS 118

// The tray icon's popup menu (also the tray icon's id) and the program icon.
#define IDR_TRAY_MENU 112
#define IDI_VOXLINK 114

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Controls. 1 (OK) and 2 (Escape) end every dialog.
#define IDC_ABOUT_TEXT 1001
#define IDC_ABOUT_ICON 1002
#define IDC_MIC_LEVEL 1003
#define IDC_SPEAKER_LEVEL 1004
#define IDC_ABOUT_VERSION 1005
#define IDC_ABOUT_FOLDER 1006
#define IDC_ABOUT_OPEN_FOLDER 1007
#define IDC_AUTO_SWITCH_AUDIO 1008
#define IDC_AUTO_RUN_SKYPE 1009
#define IDC_RING_SELECTION 1011
#define IDC_SPEAKER_DEVICE 1015
#define IDC_MIC_DEVICE 1016
#define IDC_AUTO_SWITCH_SYSTEM_AUDIO 1019

// Commands the main window receives.
#define IDM_EXIT 40001
#define IDM_ABOUT 40002
#define IDM_VOLUME_CONTROL 40007
#define IDM_ADVANCED_SETTINGS 40008
#define IDM_AUDIO_DEVICE_SETTINGS 40009

// String table.
#define IDS_MAIN_WND_CLASS 3
#define IDS_USB 10
#define IDS_NO_SPEAKER 11
#define IDS_NO_MIC 12
#define IDS_CONNECTED 13
#define IDS_DISCONNECTED 14
#define IDS_FIRST_RUN_NOTICE 15
// The crash offer's question and its answers when no e-mail program is set up.
#define IDS_CRASH_OFFER 16
#define IDS_CRASH_NO_MAIL 17
#define IDS_CRASH_NO_MAIL_SEND_TO 18
// A library that cannot be bound; %1 is its file name or the missing export.
#define IDS_BIND_LOAD_FAILED 19
#define IDS_BIND_NO_EXPORT 20
#define IDS_BIND_HID_CREATE_FAILED 21
#define IDS_BIND_HID_DELETE_FAILED 22
#define IDS_BIND_FONT_CREATE_FAILED 23
#define IDS_BIND_FONT_DELETE_FAILED 24
