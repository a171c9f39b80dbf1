// The application shell's behaviour: the start-up binding and first handset
// check, the main window's messages, handset arrival and removal after device
// changes, suspend and resume, the exit request and the shutdown. Everything
// here runs on the main thread; the Win32 program (SkypeAPI.cpp) owns the
// window and hands each message to OnMessage.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "Configuration.h"
#include "ShellPorts.h"
#include "VoxlinkResources.h"

class CallStore;
class CHsdFontProcess;
class I_AccessSkypeAPI;
class UserStore;

// Process-wide objects. WinMain creates the Skype link; the shell creates the
// stores and binds the font component, and frees all of them at shutdown.
extern std::atomic<I_AccessSkypeAPI*> g_pSkypeAPI;
// Deletes the Skype link, if there is one, and clears g_pSkypeAPI.
void DeleteSkypeLink();
extern std::atomic<CallStore*> g_pCallStore;
extern std::atomic<UserStore*> g_pUserStore;
extern CHsdFontProcess* g_pFontProcess;
// 1 while IDT_DEVICE_RECHECK is armed.
extern int g_bDeviceCheckPending;

// Messages of the program's own and the one timer of the main window.
inline constexpr unsigned int WM_TRAYNOTIFY = 0x800A;  // WM_APP + 10
// Audio endpoints came or went (WM_HANDSET_ENDPOINTS_CHANGED, WM_APP + 11).
inline constexpr unsigned int WM_ENDPOINTSCHANGED = 0x800B;
inline constexpr unsigned int IDT_DEVICE_RECHECK = 32769;
inline constexpr unsigned int kDeviceRecheckMs = 600;
// Armed by the first endpoint change of a burst (a device brings several):
// the handset's endpoints are chosen again once, when it fires.
inline constexpr unsigned int IDT_ENDPOINTS_SETTLED = 32771;
inline constexpr unsigned int kEndpointsSettleMs = 600;

// Menu commands the main window receives.
inline constexpr unsigned int kCmdExit = IDM_EXIT;
inline constexpr unsigned int kCmdAbout = IDM_ABOUT;
inline constexpr unsigned int kCmdVolumeControl = IDM_VOLUME_CONTROL;
inline constexpr unsigned int kCmdAdvancedSettings = IDM_ADVANCED_SETTINGS;
inline constexpr unsigned int kCmdAudioDeviceSettings = IDM_AUDIO_DEVICE_SETTINGS;

// Values of the platform's window messages that the main window handles, so
// that this code builds and is tested without the platform's headers.
namespace shellmsg {
inline constexpr unsigned int kDestroy = 0x0002;
inline constexpr unsigned int kPaint = 0x000F;
inline constexpr unsigned int kCopyData = 0x004A;
inline constexpr unsigned int kQueryEndSession = 0x0011;
inline constexpr unsigned int kEndSession = 0x0016;
inline constexpr unsigned int kCommand = 0x0111;
inline constexpr unsigned int kTimer = 0x0113;
inline constexpr unsigned int kPowerBroadcast = 0x0218;
inline constexpr unsigned int kDeviceChange = 0x0219;
inline constexpr unsigned int kMixerControlChange = 0x03D1;  // MM_MIXM_CONTROL_CHANGE
inline constexpr std::uintptr_t kDevNodesChanged = 7;        // DBT_DEVNODES_CHANGED
inline constexpr std::intptr_t kAttachSuccess = 0;
inline constexpr std::intptr_t kApiAvailable = 0x8001;
}  // namespace shellmsg

class CShell {
public:
    static constexpr unsigned int kHandsetOffCommand = 7;

    explicit CShell(const ShellPorts& ports) : m_ports(ports) {}

    void SetAttachMessage(unsigned int id) { m_attachMessage = id; }
    // The program's folder, ending in a backslash.
    void SetProgramFolder(const std::string& folder) { m_programFolder = folder; }
    const std::string& ProgramFolder() const { return m_programFolder; }

    // The Skype link reads the configuration; its switches and fader defaults
    // land in the handset object.
    void LoadConfiguration();
    const ConfigSwitches& Switches() const { return m_switches; }

    // Binds the font library and checks for the handset for the first time.
    // False when WinMain must end: a failed binding has deleted the Skype link.
    bool StartupBinding();

    // One message of the main window. True when handled, with its result in
    // *result; false when the window's default processing gives the result
    // (the message may have been acted on all the same). copyDataText is the
    // text of a WM_COPYDATA (may be null).
    bool OnMessage(unsigned int message, std::uintptr_t wParam, std::intptr_t lParam,
                   const char* copyDataText, std::intptr_t* result);

    void ArmDeviceRecheck();
    void RecheckHandset();
    // The endpoints have settled: the handset's are chosen again, and an
    // attached Skype is told their names when these changed.
    void FollowEndpoints();
    void Suspend();
    void Resume();
    void ExitRequest();
    void ExitSignal();
    // Logoff or shutdown: the exit request and the shutdown at once, since the
    // process will not get to the end of its message loop.
    void EndSession();
    // After the message loop (or at the end of the session): the handset off,
    // the objects freed. Once only.
    void Shutdown();

private:
    enum class Check { DeviceChange, Resume };

    void Request(int request);
    void CheckHandset(Check kind);
    void Arrival(Check kind);
    void RemovalTail();
    void OnCommand(unsigned int command);
    void UpdateTrayState();
    // Stops the sounds and sends the handset its off command and reset: first
    // thing on the way out, once.
    void SwitchHandsetOff();

    ShellPorts m_ports;
    unsigned int m_attachMessage = 0;
    std::string m_programFolder;
    ConfigSwitches m_switches;
    // A wake brings 18, and 7 after it when the user touches the PC: set by
    // 18 until the next suspend or resume message.
    bool m_resumedAutomatically = false;
    bool m_shutDown = false;
    bool m_handsetOff = false;
    bool m_endpointsPending = false;  // IDT_ENDPOINTS_SETTLED is armed
};
