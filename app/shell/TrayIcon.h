// The notification-area icon: the program's only visible presence. Its tip and
// picture say whether the handset and Skype are connected; its right-click menu
// opens the dialogs and ends the program; a double click opens the default item.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <mutex>

#include "VoxlinkResources.h"

// Resource ids the tray uses: the popup menu (also the icon's id) and the two tips.
inline constexpr UINT kTrayMenuId = IDR_TRAY_MENU;
inline constexpr UINT kTrayTipConnected = IDS_CONNECTED;
inline constexpr UINT kTrayTipDisconnected = IDS_DISCONNECTED;

// The texts of string-table entries 13 and 14, used when the program carries
// no string table; null for other ids.
const char* TrayFallbackString(UINT id);

// Popup menu 112 built in code, the same as the resource: "Advanced Settings",
// "Volume Control", separator, "About ", separator, "Exit" in its first submenu.
HMENU BuildTrayMenu();

class CTrayIcon {
public:
    CTrayIcon();
    virtual ~CTrayIcon();
    // wParam: the icon id; lParam: the mouse message. 1 handled, 0 not.
    virtual LRESULT OnTrayNotification(WPARAM iconId, LPARAM mouseMessage);
    // Called with the popup before it is shown; nothing to change here.
    virtual void CustomizeMenu(HMENU menu);

    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // 1 when added (or kept hidden on request), 0 when it failed. The tray
    // takes over icon, like every picture it loads: a picture is destroyed once
    // the shell shows another one, or the icon has been removed.
    int Create(HINSTANCE instance, HWND target, UINT callbackMessage, const char* tip, HICON icon,
               UINT id, BOOL hidden);
    // 1 when removed. The icon is not shown again after this.
    int RemoveIcon();
    // Adds the icon again with its current picture and tip: when the taskbar
    // was not there yet at start-up (logon), or after Explorer restarted
    // ("TaskbarCreated"). 1 when shown; nothing for an icon created hidden or
    // removed.
    int Restore();
    int SetIconFromFile(const char* path);
    int SetTooltipFromString(UINT stringId);
    // The picture from iconPath and the tip of string tipStringId in one step,
    // so that no one sees one state's picture with another's tip. 1 when shown.
    int SetState(const char* iconPath, UINT tipStringId);

    // The icon's data: hIcon is the picture shown, szTip the tip.
    NOTIFYICONDATAA Data() const;
    bool IsHidden() const;
    bool IsRemoved() const;

private:
    // Loads menu uID (or builds it); the caller destroys it.
    HMENU LoadTrayMenu() const;
    UINT DefaultItemId() const;
    // With nidLock held: the picture (nullptr when it does not load), the
    // tip's text (false when there is none), and the hand-over of the flagged
    // parts to the shell, which then owns the picture.
    HICON LoadPictureLocked(const char* path) const;
    bool LoadTipLocked(UINT stringId, char* tip) const;
    bool ShowLocked(UINT flags, HICON icon, const char* tip);

    // The notification thread, the handset input thread and the main thread
    // all change the picture and the tip: each change of nid and its hand-over
    // to the shell happen under this lock.
    mutable std::mutex nidLock;
    // Only the first form of the structure (64-character tip) is passed to
    // the shell: cbSize is NOTIFYICONDATAA_V1_SIZE.
    NOTIFYICONDATAA nid{};
    HINSTANCE hInstance = nullptr;
    HWND hTrayWnd = nullptr;
    HWND hTargetWnd = nullptr;
    int enabled = 1;
    int hidden = 1;
    int removed = 1;
    int wanted = 0;  // created to be shown and not removed since
    UINT defaultItem = 0;
    int defaultByPosition = 1;
    UINT savedFlags = 0;
};
