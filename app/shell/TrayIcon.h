// The notification-area icon: the program's only visible presence. Its tip
// ("Voxlink – Connected") and picture say whether the handset and Skype are
// connected; its menu opens the dialogs and ends the program, from the mouse
// or the keyboard (the shell's version 4 behaviour); a double click opens
// the default item. Pictures are loaded at the small-icon size of the
// taskbar's DPI, so they stay sharp on scaled screens.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <mutex>
#include <string>

#include "VoxlinkResources.h"

// Resource ids the tray uses: the popup menu (also the icon's id) and the two tips.
inline constexpr UINT kTrayMenuId = IDR_TRAY_MENU;
inline constexpr UINT kTrayTipConnected = IDS_CONNECTED;
inline constexpr UINT kTrayTipDisconnected = IDS_DISCONNECTED;

// The texts of string-table entries 13 and 14, used when the program carries
// no string table; null for other ids.
const char* TrayFallbackString(UINT id);

// Popup menu 112 built in code, the same as the resource: "&Advanced
// Settings", "&Volume Control", separator, "A&bout ", separator, "E&xit" in
// its first submenu.
HMENU BuildTrayMenu();

// The DPI of the monitor that shows the taskbar (the system's when there is
// no taskbar yet).
UINT TaskbarDpi();
// An icon file's picture at the small-icon size for dpi (16 px at 96 DPI, 24
// at 144, 32 at 192), taken from the file's image of that size.
HICON LoadTrayPicture(const char* path, UINT dpi);

class CTrayIcon {
public:
    CTrayIcon();
    virtual ~CTrayIcon();
    // wParam and lParam of the callback message as the shell sends them to a
    // version 4 icon: the anchor point, and the event with the icon's id.
    // 1 handled, 0 not.
    virtual LRESULT OnTrayNotification(WPARAM anchor, LPARAM event);
    // Called with the popup before it is shown; nothing to change here.
    virtual void CustomizeMenu(HMENU menu);

    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // 1 when added (or kept hidden on request), 0 when it failed. The picture
    // comes from iconPath at the taskbar's size; the tray owns every picture
    // it loads, and destroys one once the shell shows another or the icon has
    // been removed.
    int Create(HINSTANCE instance, HWND target, UINT callbackMessage, const char* tip,
               const char* iconPath, UINT id, BOOL hidden);
    // 1 when removed. The icon is not shown again after this.
    int RemoveIcon();
    // Adds the icon again with its current picture and tip: when the taskbar
    // was not there yet at start-up (logon), or after Explorer restarted
    // ("TaskbarCreated"). 1 when shown; nothing for an icon created hidden or
    // removed.
    int Restore();
    int SetIconFromFile(const char* path);
    int SetTooltipFromString(UINT stringId);
    // The picture from iconPath and the tip "Voxlink – " and string
    // tipStringId in one step, so that no one sees one state's picture with
    // another's tip. 1 when shown.
    int SetState(const char* iconPath, UINT tipStringId);
    // Loads the current picture again at the taskbar's DPI (after a DPI or
    // taskbar change). 1 when shown.
    int ReloadPicture();
    // A notification balloon with the program's large picture, unless the
    // user is in quiet time, presenting or running a full-screen program.
    // True when handed to the shell.
    bool ShowNotice(const wchar_t* text);

    // The icon's data: hIcon is the picture shown, szTip the tip.
    NOTIFYICONDATAW Data() const;
    bool IsHidden() const;
    bool IsRemoved() const;

private:
    // Loads menu uID (or builds it); the caller destroys it.
    HMENU LoadTrayMenu() const;
    UINT DefaultItemId() const;
    void ShowMenu(int x, int y);
    // With nidLock held: the tip's text (false when there is none), the
    // hand-over of the flagged parts to the shell (which then owns the
    // picture), and the icon's behaviour version after an add.
    bool LoadTipLocked(UINT stringId, wchar_t* tip) const;
    bool ShowLocked(UINT flags, HICON icon, const wchar_t* tip);
    bool AddLocked();

    // The notification thread, the handset input thread and the main thread
    // all change the picture and the tip: each change of nid and its hand-over
    // to the shell happen under this lock.
    mutable std::mutex nidLock;
    NOTIFYICONDATAW nid{};
    std::string picturePath;
    HINSTANCE hInstance = nullptr;
    HWND hTrayWnd = nullptr;
    HWND hTargetWnd = nullptr;
    int hidden = 1;
    int removed = 1;
    int wanted = 0;  // created to be shown and not removed since
    UINT defaultItem = 0;
    int defaultByPosition = 1;
    UINT savedFlags = 0;
    DWORD lastMenuClosed = 0;  // tick count, to drop the second key select of one Enter
    bool menuOpen = false;     // main thread only
};
