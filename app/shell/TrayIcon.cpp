#include "TrayIcon.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char kTrayWindowClass[] = "TrayIconClass";
// A tip holds 63 characters and its terminator.
constexpr int kTipChars = 63;

LRESULT CALLBACK TrayWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

void CopyTip(char* tip, const char* text) {
    std::memset(tip, 0, 64);
    if (text != nullptr) {
        const std::size_t length = std::min<std::size_t>(std::strlen(text), kTipChars);
        std::memcpy(tip, text, length);
    }
}

}  // namespace

const char* TrayFallbackString(UINT id) {
    switch (id) {
        case kTrayTipConnected:
            return "Connected";
        case kTrayTipDisconnected:
            return "Disconnected";
        default:
            return nullptr;
    }
}

HMENU BuildTrayMenu() {
    HMENU bar = CreateMenu();
    HMENU popup = CreatePopupMenu();
    if (bar == nullptr || popup == nullptr) {
        if (bar != nullptr) {
            DestroyMenu(bar);
        }
        if (popup != nullptr) {
            DestroyMenu(popup);
        }
        return nullptr;
    }
    AppendMenuA(popup, MF_STRING, IDM_ADVANCED_SETTINGS, "Advanced Settings");
    AppendMenuA(popup, MF_STRING, IDM_VOLUME_CONTROL, "Volume Control");
    AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(popup, MF_STRING, IDM_ABOUT, "About ");
    AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(popup, MF_STRING, IDM_EXIT, "Exit");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "Tray");
    return bar;
}

CTrayIcon::CTrayIcon() {
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
}

CTrayIcon::~CTrayIcon() {
    RemoveIcon();
    {
        std::lock_guard<std::mutex> guard(nidLock);
        // A picture the shell may still draw (its removal failed) is left to
        // go with the process.
        if (hidden && nid.hIcon != nullptr) {
            DestroyIcon(nid.hIcon);
            nid.hIcon = nullptr;
        }
    }
    if (hTrayWnd != nullptr) {
        DestroyWindow(hTrayWnd);
        hTrayWnd = nullptr;
    }
}

void CTrayIcon::CustomizeMenu(HMENU) {}

int CTrayIcon::Create(HINSTANCE instance, HWND target, UINT callbackMessage, const char* tip,
                      HICON icon, UINT id, BOOL hideIcon) {
    std::lock_guard<std::mutex> guard(nidLock);
    nid.hIcon = icon;
    const DWORD version = GetVersion();
    if (LOBYTE(LOWORD(version)) < 4) {
        enabled = 0;
        return 0;
    }
    hInstance = instance;
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = TrayWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = kTrayWindowClass;
    RegisterClassA(&wc);  // may exist already
    if (hTrayWnd == nullptr) {
        hTrayWnd =
            CreateWindowExA(0, kTrayWindowClass, "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    }

    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = target != nullptr ? target : hTrayWnd;
    nid.uID = id;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = callbackMessage;
    CopyTip(nid.szTip, tip);
    savedFlags = nid.uFlags;
    hTargetWnd = target;

    if (hideIcon) {
        return 1;
    }
    wanted = 1;
    const BOOL added = Shell_NotifyIconA(NIM_ADD, &nid);
    hidden = added ? 0 : 1;
    removed = added ? 0 : 1;
    return added ? 1 : 0;
}

NOTIFYICONDATAA CTrayIcon::Data() const {
    std::lock_guard<std::mutex> guard(nidLock);
    return nid;
}

bool CTrayIcon::IsHidden() const {
    std::lock_guard<std::mutex> guard(nidLock);
    return hidden != 0;
}

bool CTrayIcon::IsRemoved() const {
    std::lock_guard<std::mutex> guard(nidLock);
    return removed != 0;
}

int CTrayIcon::RemoveIcon() {
    std::lock_guard<std::mutex> guard(nidLock);
    wanted = 0;
    if (!enabled || removed) {
        return 0;
    }
    NOTIFYICONDATAA change = nid;
    change.uFlags = 0;
    if (!Shell_NotifyIconA(NIM_DELETE, &change)) {
        return 0;
    }
    removed = 1;
    hidden = 1;
    if (nid.hIcon != nullptr) {
        DestroyIcon(nid.hIcon);
        nid.hIcon = nullptr;
    }
    return 1;
}

int CTrayIcon::Restore() {
    std::lock_guard<std::mutex> guard(nidLock);
    if (!enabled || !wanted) {
        return 0;
    }
    NOTIFYICONDATAA again = nid;
    again.uFlags = savedFlags;
    // A taskbar that kept the icon (a "TaskbarCreated" without a restart)
    // refuses to add it twice: it is brought up to date instead.
    if (!Shell_NotifyIconA(NIM_ADD, &again) && !Shell_NotifyIconA(NIM_MODIFY, &again)) {
        return 0;
    }
    hidden = 0;
    removed = 0;
    return 1;
}

int CTrayIcon::SetIconFromFile(const char* path) {
    std::lock_guard<std::mutex> guard(nidLock);
    HICON icon = LoadPictureLocked(path);
    return icon != nullptr && ShowLocked(NIF_ICON, icon, nullptr) ? 1 : 0;
}

int CTrayIcon::SetTooltipFromString(UINT stringId) {
    std::lock_guard<std::mutex> guard(nidLock);
    char tip[64] = {};
    return LoadTipLocked(stringId, tip) && ShowLocked(NIF_TIP, nullptr, tip) ? 1 : 0;
}

int CTrayIcon::SetState(const char* iconPath, UINT tipStringId) {
    std::lock_guard<std::mutex> guard(nidLock);
    char tip[64] = {};
    if (!LoadTipLocked(tipStringId, tip)) {
        return 0;
    }
    // A picture that does not load leaves the picture as it was.
    HICON icon = LoadPictureLocked(iconPath);
    return ShowLocked(icon != nullptr ? NIF_ICON | NIF_TIP : NIF_TIP, icon, tip) ? 1 : 0;
}

HICON CTrayIcon::LoadPictureLocked(const char* path) const {
    if (!enabled || path == nullptr) {
        return nullptr;
    }
    return static_cast<HICON>(LoadImageA(nullptr, path, IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
}

bool CTrayIcon::LoadTipLocked(UINT stringId, char* tip) const {
    if (!enabled) {
        return false;
    }
    const HMODULE module = hInstance != nullptr ? hInstance : GetModuleHandleA(nullptr);
    if (LoadStringA(module, stringId, tip, kTipChars + 1) <= 0) {
        const char* fallback = TrayFallbackString(stringId);
        if (fallback == nullptr) {
            return false;
        }
        CopyTip(tip, fallback);
    }
    return true;
}

bool CTrayIcon::ShowLocked(UINT flags, HICON icon, const char* tip) {
    if (!hidden) {
        NOTIFYICONDATAA change = nid;
        change.uFlags = flags;
        if ((flags & NIF_ICON) != 0) {
            change.hIcon = icon;
        }
        if ((flags & NIF_TIP) != 0) {
            CopyTip(change.szTip, tip);
        }
        if (!Shell_NotifyIconA(NIM_MODIFY, &change)) {
            if (icon != nullptr) {
                DestroyIcon(icon);
            }
            return false;
        }
    }
    if ((flags & NIF_TIP) != 0) {
        CopyTip(nid.szTip, tip);
    }
    if ((flags & NIF_ICON) != 0) {
        // The shell may draw a picture until it has been given another one:
        // only then does the one it replaced go.
        if (nid.hIcon != nullptr) {
            DestroyIcon(nid.hIcon);
        }
        nid.hIcon = icon;
    }
    return true;
}

HMENU CTrayIcon::LoadTrayMenu() const {
    HMENU menu = LoadMenuA(hInstance, MAKEINTRESOURCEA(nid.uID));
    return menu != nullptr ? menu : BuildTrayMenu();
}

UINT CTrayIcon::DefaultItemId() const {
    if (!defaultByPosition) {
        return defaultItem;
    }
    UINT id = 0;
    if (HMENU menu = LoadTrayMenu()) {
        if (HMENU popup = GetSubMenu(menu, 0)) {
            id = GetMenuItemID(popup, static_cast<int>(defaultItem));
        }
        DestroyMenu(menu);
    }
    return id;
}

LRESULT CTrayIcon::OnTrayNotification(WPARAM iconId, LPARAM mouseMessage) {
    if (iconId != nid.uID || hTargetWnd == nullptr) {
        return 0;
    }
    if (LOWORD(mouseMessage) == WM_RBUTTONUP) {
        HMENU menu = LoadTrayMenu();
        if (menu == nullptr) {
            return 0;
        }
        HMENU popup = GetSubMenu(menu, 0);
        if (popup == nullptr) {
            DestroyMenu(menu);
            return 0;
        }
        SetMenuDefaultItem(popup, defaultItem, defaultByPosition);
        CustomizeMenu(popup);
        POINT cursor{};
        GetCursorPos(&cursor);
        SetForegroundWindow(nid.hWnd);
        TrackPopupMenu(popup, TPM_LEFTBUTTON, cursor.x, cursor.y, 0, hTargetWnd, nullptr);
        // Without it the menu does not close when the user clicks elsewhere.
        PostMessageA(nid.hWnd, WM_NULL, 0, 0);
        DestroyMenu(menu);
    } else if (LOWORD(mouseMessage) == WM_LBUTTONDBLCLK) {
        SetForegroundWindow(nid.hWnd);
        const UINT id = DefaultItemId();
        if (id != 0 && id != static_cast<UINT>(-1)) {
            PostMessageA(hTargetWnd, WM_COMMAND, id, 0);
        }
    }
    return 1;
}
