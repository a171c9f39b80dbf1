#include "TrayIcon.h"

#include <windowsx.h>

#include <algorithm>
#include <cwchar>

namespace {

constexpr wchar_t kTrayWindowClass[] = L"TrayIconClass";
// The program's name opens every tip, so that a screen reader says whose
// state it is.
constexpr wchar_t kTipPrefix[] = L"Voxlink \u2013 ";
constexpr UINT kNinSelect = WM_USER;
constexpr UINT kNinKeySelect = WM_USER + 1;

LRESULT CALLBACK TrayWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

template <std::size_t N>
void CopyTip(wchar_t (&tip)[N], const wchar_t* text) {
    std::wmemset(tip, 0, N);
    if (text != nullptr) {
        std::wcsncpy(tip, text, N - 1);
    }
}

template <typename Fn>
Fn User32Function(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

// The small-icon size for a DPI (Windows 10 1607 and later know it exactly).
int SmallIconSize(UINT dpi) {
    using MetricsForDpi = int(WINAPI*)(int, UINT);
    static const auto metrics = User32Function<MetricsForDpi>("GetSystemMetricsForDpi");
    return metrics != nullptr ? metrics(SM_CXSMICON, dpi)
                              : MulDiv(GetSystemMetrics(SM_CXSMICON), static_cast<int>(dpi), 96);
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
    AppendMenuA(popup, MF_STRING, IDM_ADVANCED_SETTINGS, "&Advanced Settings");
    AppendMenuA(popup, MF_STRING, IDM_VOLUME_CONTROL, "&Volume Control");
    AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(popup, MF_STRING, IDM_ABOUT, "A&bout ");
    AppendMenuA(popup, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(popup, MF_STRING, IDM_EXIT, "E&xit");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "Tray");
    return bar;
}

UINT TaskbarDpi() {
    using DpiForWindow = UINT(WINAPI*)(HWND);
    using DpiForSystem = UINT(WINAPI*)();
    static const auto forWindow = User32Function<DpiForWindow>("GetDpiForWindow");
    static const auto forSystem = User32Function<DpiForSystem>("GetDpiForSystem");
    if (HWND taskbar = FindWindowW(L"Shell_TrayWnd", nullptr); taskbar && forWindow) {
        if (const UINT dpi = forWindow(taskbar); dpi != 0) {
            return dpi;
        }
    }
    if (forSystem != nullptr) {
        return forSystem();
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

HICON LoadTrayPicture(const char* path, UINT dpi) {
    if (path == nullptr) {
        return nullptr;
    }
    // The configuration's texts are UTF-8.
    wchar_t widePath[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, widePath, MAX_PATH) == 0) {
        return nullptr;
    }
    const int size = SmallIconSize(dpi);
    return static_cast<HICON>(
        LoadImageW(nullptr, widePath, IMAGE_ICON, size, size, LR_LOADFROMFILE));
}

CTrayIcon::CTrayIcon() {
    nid.cbSize = sizeof nid;
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

bool CTrayIcon::AddLocked() {
    if (!Shell_NotifyIconW(NIM_ADD, &nid)) {
        return false;
    }
    // Keyboard selection, WM_CONTEXTMENU and anchor points from now on.
    NOTIFYICONDATAW version = nid;
    version.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconW(NIM_SETVERSION, &version);
    return true;
}

int CTrayIcon::Create(HINSTANCE instance, HWND target, UINT callbackMessage, const char* tip,
                      const char* iconPath, UINT id, BOOL hideIcon) {
    std::lock_guard<std::mutex> guard(nidLock);
    hInstance = instance;
    WNDCLASSW wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = TrayWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = kTrayWindowClass;
    RegisterClassW(&wc);  // may exist already
    if (hTrayWnd == nullptr) {
        hTrayWnd =
            CreateWindowExW(0, kTrayWindowClass, L"", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    }
    picturePath = iconPath != nullptr ? iconPath : "";
    nid.cbSize = sizeof nid;
    nid.hWnd = target != nullptr ? target : hTrayWnd;
    nid.uID = id;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    nid.uCallbackMessage = callbackMessage;
    nid.hIcon = LoadTrayPicture(iconPath, TaskbarDpi());
    wchar_t wide[128] = {};
    MultiByteToWideChar(CP_ACP, 0, tip != nullptr ? tip : "", -1, wide, 127);
    CopyTip(nid.szTip, wide);
    savedFlags = nid.uFlags;
    hTargetWnd = target;

    if (hideIcon) {
        return 1;
    }
    wanted = 1;
    const bool added = AddLocked();
    hidden = added ? 0 : 1;
    removed = added ? 0 : 1;
    return added ? 1 : 0;
}

NOTIFYICONDATAW CTrayIcon::Data() const {
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
    if (removed) {
        return 0;
    }
    NOTIFYICONDATAW change = nid;
    change.uFlags = 0;
    if (!Shell_NotifyIconW(NIM_DELETE, &change)) {
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
    if (!wanted) {
        return 0;
    }
    const UINT flags = nid.uFlags;
    nid.uFlags = savedFlags;
    // A taskbar that kept the icon (a "TaskbarCreated" without a restart)
    // refuses to add it twice: it is brought up to date instead.
    const bool shown = AddLocked() || Shell_NotifyIconW(NIM_MODIFY, &nid);
    nid.uFlags = flags;
    if (!shown) {
        return 0;
    }
    hidden = 0;
    removed = 0;
    return 1;
}

int CTrayIcon::SetIconFromFile(const char* path) {
    std::lock_guard<std::mutex> guard(nidLock);
    HICON icon = LoadTrayPicture(path, TaskbarDpi());
    if (icon == nullptr || !ShowLocked(NIF_ICON, icon, nullptr)) {
        return 0;
    }
    picturePath = path;
    return 1;
}

int CTrayIcon::SetTooltipFromString(UINT stringId) {
    std::lock_guard<std::mutex> guard(nidLock);
    wchar_t tip[128] = {};
    return LoadTipLocked(stringId, tip) && ShowLocked(NIF_TIP, nullptr, tip) ? 1 : 0;
}

int CTrayIcon::SetState(const char* iconPath, UINT tipStringId) {
    std::lock_guard<std::mutex> guard(nidLock);
    wchar_t tip[128] = {};
    if (!LoadTipLocked(tipStringId, tip)) {
        return 0;
    }
    // A picture that does not load leaves the picture as it was.
    HICON icon = LoadTrayPicture(iconPath, TaskbarDpi());
    if (!ShowLocked(icon != nullptr ? NIF_ICON | NIF_TIP : NIF_TIP, icon, tip)) {
        return 0;
    }
    if (icon != nullptr) {
        picturePath = iconPath;
    }
    return 1;
}

int CTrayIcon::ReloadPicture() {
    std::lock_guard<std::mutex> guard(nidLock);
    HICON icon = LoadTrayPicture(picturePath.c_str(), TaskbarDpi());
    return icon != nullptr && ShowLocked(NIF_ICON, icon, nullptr) ? 1 : 0;
}

bool CTrayIcon::ShowNotice(const wchar_t* text) {
    QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
    if (FAILED(SHQueryUserNotificationState(&state)) || state != QUNS_ACCEPTS_NOTIFICATIONS) {
        return false;
    }
    std::lock_guard<std::mutex> guard(nidLock);
    if (hidden) {
        return false;
    }
    NOTIFYICONDATAW notice = nid;
    notice.uFlags = NIF_INFO;
    notice.dwInfoFlags = NIIF_USER | NIIF_LARGE_ICON | NIIF_RESPECT_QUIET_TIME;
    const int size = GetSystemMetrics(SM_CXICON);
    notice.hBalloonIcon = static_cast<HICON>(
        LoadImageW(hInstance, MAKEINTRESOURCEW(IDI_VOXLINK), IMAGE_ICON, size, size, 0));
    CopyTip(notice.szInfoTitle, L"Voxlink");
    CopyTip(notice.szInfo, text);
    const bool shown = Shell_NotifyIconW(NIM_MODIFY, &notice) != FALSE;
    if (notice.hBalloonIcon != nullptr) {
        DestroyIcon(notice.hBalloonIcon);
    }
    return shown;
}

bool CTrayIcon::LoadTipLocked(UINT stringId, wchar_t* tip) const {
    wchar_t state[64] = {};
    const HMODULE module = hInstance != nullptr ? hInstance : GetModuleHandleW(nullptr);
    if (LoadStringW(module, stringId, state, 64) <= 0) {
        const char* fallback = TrayFallbackString(stringId);
        if (fallback == nullptr) {
            return false;
        }
        MultiByteToWideChar(CP_ACP, 0, fallback, -1, state, 64);
    }
    std::swprintf(tip, 128, L"%ls%ls", kTipPrefix, state);
    return true;
}

bool CTrayIcon::ShowLocked(UINT flags, HICON icon, const wchar_t* tip) {
    if (!hidden) {
        NOTIFYICONDATAW change = nid;
        change.uFlags = flags;
        if ((flags & NIF_ICON) != 0) {
            change.hIcon = icon;
        }
        if ((flags & NIF_TIP) != 0) {
            change.uFlags |= NIF_SHOWTIP;
            CopyTip(change.szTip, tip);
        }
        if (!Shell_NotifyIconW(NIM_MODIFY, &change)) {
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
    HMENU menu = LoadMenuW(hInstance, MAKEINTRESOURCEW(nid.uID));
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

void CTrayIcon::ShowMenu(int x, int y) {
    if (menuOpen) {
        return;
    }
    HMENU menu = LoadTrayMenu();
    HMENU popup = menu != nullptr ? GetSubMenu(menu, 0) : nullptr;
    if (popup == nullptr) {
        if (menu != nullptr) {
            DestroyMenu(menu);
        }
        return;
    }
    SetMenuDefaultItem(popup, defaultItem, defaultByPosition);
    CustomizeMenu(popup);
    // The menu closes when the user clicks elsewhere only when its window is
    // in the foreground, and WM_NULL after it lets the click through.
    SetForegroundWindow(nid.hWnd);
    menuOpen = true;
    const UINT chosen = TrackPopupMenu(popup, TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, x, y,
                                       0, nid.hWnd, nullptr);
    menuOpen = false;
    PostMessageW(nid.hWnd, WM_NULL, 0, 0);
    DestroyMenu(menu);
    lastMenuClosed = GetTickCount();
    if (chosen != 0) {
        PostMessageW(hTargetWnd, WM_COMMAND, chosen, 0);
    } else {
        // Nothing chosen: the keyboard focus goes back to the notification area.
        NOTIFYICONDATAW focus = Data();
        Shell_NotifyIconW(NIM_SETFOCUS, &focus);
    }
}

LRESULT CTrayIcon::OnTrayNotification(WPARAM anchor, LPARAM event) {
    if (HIWORD(event) != nid.uID || hTargetWnd == nullptr) {
        return 0;
    }
    switch (LOWORD(event)) {
        case kNinKeySelect:
            // Enter brings two of them; the second lands when the menu has just closed.
            if (GetTickCount() - lastMenuClosed < GetDoubleClickTime()) {
                break;
            }
            [[fallthrough]];
        case WM_CONTEXTMENU:
        case kNinSelect:
            ShowMenu(GET_X_LPARAM(anchor), GET_Y_LPARAM(anchor));
            break;
        case WM_LBUTTONDBLCLK: {
            SetForegroundWindow(nid.hWnd);
            const UINT id = DefaultItemId();
            if (id != 0 && id != static_cast<UINT>(-1)) {
                PostMessageW(hTargetWnd, WM_COMMAND, id, 0);
            }
            break;
        }
        default:
            break;
    }
    return 1;
}
