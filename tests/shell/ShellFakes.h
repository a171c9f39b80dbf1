// Recording fakes of the shell's ports, of the Skype link and of the font
// component. Everything writes into one journal, so tests can check the order
// of what the shell did across all of them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "HsdFontProcess.h"
#include "I_AccessSkypeAPI.h"
#include "ShellPorts.h"

class Journal {
public:
    void Add(const std::string& what) { m_entries.push_back(what); }
    const std::vector<std::string>& Entries() const { return m_entries; }
    void Clear() { m_entries.clear(); }
    int Count(const std::string& what) const {
        return static_cast<int>(std::count(m_entries.begin(), m_entries.end(), what));
    }
    bool Has(const std::string& what) const { return Count(what) > 0; }
    // Position of the first entry, -1 when absent.
    int Index(const std::string& what) const {
        auto it = std::find(m_entries.begin(), m_entries.end(), what);
        return it == m_entries.end() ? -1 : static_cast<int>(it - m_entries.begin());
    }
    // True when the entries appear in this order (others may lie between).
    bool InOrder(const std::vector<std::string>& expected) const {
        std::size_t at = 0;
        for (const std::string& e : m_entries) {
            if (at < expected.size() && e == expected[at]) {
                ++at;
            }
        }
        return at == expected.size();
    }
    std::string Text() const {
        std::string all;
        for (const std::string& e : m_entries) {
            all += e + "\n";
        }
        return all;
    }

private:
    std::vector<std::string> m_entries;
};

class FakeLink : public I_AccessSkypeAPI {
public:
    explicit FakeLink(Journal& j) : m_j(j) {}
    ~FakeLink() override { m_j.Add("link deleted"); }

    HsdStatus AddToMessageInQueue(const char* text) override {
        m_j.Add(std::string("in queue: ") + text);
        return 0;
    }
    HsdStatus AddToMessageOutQueue(const char*) override { return 0; }
    HsdStatus SendSkypeCommand(unsigned char, const char*, int) override { return 0; }
    HsdStatus GetRegisterDefaults(int* r04, int* r1C) override {
        *r04 = 20;
        *r1C = 9;
        return 0;
    }
    HsdStatus LoadConfiguration(const char* folder, ConfigSwitches* switches) override {
        m_j.Add(std::string("load configuration ") + folder);
        *switches = configured;
        return 0;
    }
    HsdStatus GetAudioDeviceNames(char*, std::size_t, char*, std::size_t) override { return 0; }
    HsdStatus FillRingList(void*, int) override { return 0; }
    HsdStatus GetWindowName(char*, std::size_t) override { return 0; }
    HsdStatus GetFileNoHW(char*, std::size_t) override { return 0; }
    HsdStatus GetFileNoSkype(char*, std::size_t) override { return 0; }
    HsdStatus GetFileActive(char*, std::size_t) override { return 0; }
    HsdStatus GetCustomerInfo(char*, std::size_t) override { return E_FAIL; }
    HsdStatus SetHandsetDisplayMode(int) override { return 0; }
    HsdStatus StartQueueAPIThread(int request) override {
        m_j.Add("request " + std::to_string(request));
        return 0;
    }
    HsdStatus SetFontProcess(CHsdFontProcess*) override {
        m_j.Add("link SetFontProcess");
        return 0;
    }
    HsdStatus UpdateTrayState() override {
        m_j.Add("UpdateTrayState");
        return 0;
    }
    HsdStatus GetUserStatus(int*) override { return 0; }
    HsdStatus ShowMissedCalls(int) override { return 0; }
    HsdStatus SendUserStatusToHandset(int) override { return 0; }

    ConfigSwitches configured;

private:
    Journal& m_j;
};

class FakeFont : public CHsdFontProcess {
public:
    explicit FakeFont(Journal& j) : m_j(j) {}
    ~FakeFont() override = default;

    HsdStatus InitialFontTable(const char* folder) override {
        m_j.Add(std::string("InitialFontTable ") + folder);
        return 0;
    }
    HsdStatus HexToInt(const unsigned char*, int, std::int32_t*) override { return 0; }
    HsdStatus TransferUnicodeToCode(unsigned char*) override { return 0; }
    HsdStatus UTF_8ToUnicodeToFontCode(const char*) override { return 0; }
    HsdStatus SendFontCode2MCU() override { return 0; }
    HsdStatus UTF_8ToUnicode2Font(const char*, unsigned char*) override { return 0; }
    HsdStatus FontCodeToUnicodeToUTF_8(const char*, unsigned char*) override { return 0; }
    HsdStatus Transfer950FontCode(const unsigned char*, unsigned char*) override { return 0; }
    HsdStatus Transfer936FontCode(const unsigned char*, unsigned char*) override { return 0; }
    HsdStatus Transfer932FontCode(const unsigned char*, unsigned char*) override { return 0; }
    HsdStatus BalanceToFontCode(std::int32_t) override { return 0; }
    HsdStatus Unicode2FontCode(const unsigned char*) override { return 0; }
    HsdStatus TransferUnicodeToLatin(const unsigned char*, std::int32_t*) override { return 0; }
    void TransferLatinFontCode(std::int32_t, unsigned char*) override {}
    HsdStatus SetHIDCtrlInterface(I_HsdHIDCtrl* hid) override {
        m_j.Add(hid != nullptr ? "font SetHIDCtrlInterface" : "font SetHIDCtrlInterface null");
        return 0;
    }
    HsdStatus SetHIDCtrlInterfaceKey(int, int) override { return 0; }
    HsdStatus SetkeepProcess2MCUDataMonitor(std::int32_t flag) override {
        m_j.Add("font SetkeepProcess2MCUDataMonitor " + std::to_string(flag));
        return 0;
    }
    HsdStatus SetSupportedARF(std::int32_t flag) override {
        m_j.Add("font SetSupportedARF " + std::to_string(flag));
        return 0;
    }

private:
    Journal& m_j;
};

class FakeFontLibrary : public IShellFontLibrary {
public:
    explicit FakeFontLibrary(Journal& j) : m_j(j), font(j) {}
    CHsdFontProcess* Bind() override {
        m_j.Add("font bind");
        return bindFails ? nullptr : &font;
    }
    void Release(CHsdFontProcess* released) override {
        m_j.Add(released == &font ? "font release" : "font release other");
    }

    bool bindFails = false;

private:
    Journal& m_j;

public:
    FakeFont font;
};

class FakeHandset : public IShellHandset {
public:
    explicit FakeHandset(Journal& j) : m_j(j) {}

    void ApplyConfiguration(const ConfigSwitches& s, int r04, int r1C) override {
        m_j.Add("ApplyConfiguration sky=" + std::to_string(s.supportSky) + " " +
                std::to_string(r04) + " " + std::to_string(r1C));
    }
    void ConnectStores(CallStore* calls, UserStore* users) override {
        m_j.Add(calls != nullptr && users != nullptr   ? "ConnectStores"
                : calls == nullptr && users == nullptr ? "ConnectStores none"
                                                       : "ConnectStores partly");
    }
    bool ReopenHandset() override {
        m_j.Add("ReopenHandset");
        return plugged;
    }
    bool StartHandset(void* window) override {
        m_j.Add(window == kMainWindow ? "StartHandset main" : "StartHandset other");
        return startWorks;
    }
    bool StopHandsetReading() override {
        m_j.Add("StopHandsetReading");
        return true;
    }
    bool ResetHandset() override {
        m_j.Add("ResetHandset");
        return true;
    }
    bool SendHandsetCommand(unsigned char code) override {
        m_j.Add("SendHandsetCommand " + std::to_string(code));
        return true;
    }
    bool ClearInput() override {
        m_j.Add("ClearInput");
        return true;
    }
    HsdStatus BindFontProcess(CHsdFontProcess*) override {
        m_j.Add("BindFontProcess");
        return 0;
    }
    HsdStatus ApplySupportedARF() override {
        m_j.Add("ApplySupportedARF");
        return 0;
    }
    int OnHidInput(std::uint32_t w, std::uint32_t l) override {
        m_j.Add("OnHidInput " + std::to_string(w) + " " + std::to_string(l));
        return 1;
    }
    void StopThreads() override { m_j.Add("StopThreads"); }
    I_HsdHIDCtrl* HidCtrl() override { return reinterpret_cast<I_HsdHIDCtrl*>(this); }
    bool IsHandsetPresent() override { return present != 0; }
    void SetHandsetPresent(int v) override {
        present = v;
        m_j.Add("present " + std::to_string(v));
    }
    void SetLinkOpen(int v) override {
        linkOpen = v;
        m_j.Add("linkOpen " + std::to_string(v));
    }
    void SetModeFlags(unsigned int f) override {
        modeFlags = f;
        m_j.Add("modeFlags " + std::to_string(f));
    }
    void StopTransferForRemoval() override { m_j.Add("StopTransferForRemoval"); }
    void ClearHandsetActive() override { m_j.Add("handsetActive 0"); }
    int SupportAutoRunSkype() override { return autoRunSkype; }

    static inline void* const kMainWindow = reinterpret_cast<void*>(0x1234);

    bool plugged = true;
    bool startWorks = true;
    int present = 0;
    int linkOpen = -1;
    unsigned int modeFlags = 0xFFFF;
    int autoRunSkype = 1;

private:
    Journal& m_j;
};

class FakePlatform : public IShellPlatform {
public:
    explicit FakePlatform(Journal& j) : m_j(j) {}

    void* MainWindow() override { return FakeHandset::kMainWindow; }
    void* SkypeApiWindow() override { return skypeWindow; }
    void SetSkypeApiWindow(void* w) override {
        skypeWindow = w;
        m_j.Add("SetSkypeApiWindow");
    }
    void SetDeviceRecheckTimer(unsigned int ms) override {
        m_j.Add("set timer " + std::to_string(ms));
    }
    void KillDeviceRecheckTimer() override { m_j.Add("kill timer"); }
    void RemoveTrayIcon() override { m_j.Add("remove tray icon"); }
    void DestroyMainWindow() override { m_j.Add("destroy window"); }
    void SignalExit() override { m_j.Add("exit signal"); }
    void StopSounds() override { m_j.Add("stop sounds"); }
    void RunServingWindows(const std::function<void()>& work) override {
        m_j.Add("serving windows");
        work();
        m_j.Add("served");
    }
    void OpenHandsetMixerControls() override { m_j.Add("open mixers"); }
    void CloseHandsetMixerControls() override { m_j.Add("close mixers"); }
    bool FollowHandsetEndpoints() override {
        m_j.Add("follow endpoints");
        return endpointNamesChange;
    }
    void SetEndpointsTimer(unsigned int ms) override {
        m_j.Add("set endpoints timer " + std::to_string(ms));
    }
    void KillEndpointsTimer() override { m_j.Add("kill endpoints timer"); }
    void OnMicVolumeControlChange(std::uintptr_t w, std::intptr_t l) override {
        m_j.Add("mic control change " + std::to_string(w) + " " + std::to_string(l));
    }
    void StartSkypeIfMissing(int autoRun) override {
        m_j.Add("StartSkypeIfMissing " + std::to_string(autoRun));
    }
    void DiscoverSkypeWindows() override { m_j.Add("DiscoverSkypeWindows"); }
    std::intptr_t OnTrayNotification(std::uintptr_t id, std::intptr_t mouse) override {
        m_j.Add("tray " + std::to_string(id) + " " + std::to_string(mouse));
        return trayResult;
    }

    void* skypeWindow = nullptr;
    std::intptr_t trayResult = 1;
    bool endpointNamesChange = false;

private:
    Journal& m_j;
};

class FakeDialogs : public IShellDialogs {
public:
    explicit FakeDialogs(Journal& j) : m_j(j) {}
    int OpenCount(unsigned int command) override { return counts[command]; }
    void Open(unsigned int command) override { m_j.Add("dialog " + std::to_string(command)); }

    std::map<unsigned int, int> counts;

private:
    Journal& m_j;
};
