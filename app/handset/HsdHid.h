// CHsdHid: the program's handset object. It owns the HID component, queues
// the handset's input words and decodes them on its input thread (key events,
// the link answer, list browsing, transfer handshakes), turns keys into Skype
// commands, and sends texts to the LCD on a transfer thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

#include "Configuration.h"
#include "HandsetPorts.h"
#include "HsdStatus.h"
#include "ModeFlags.h"
#include "SkypeLinkPorts.h"

class CHsdFontProcess;
class I_AccessSkypeAPI;
class I_CallStore;
class I_HsdHIDCtrl;
class I_UserStore;
class ISoundOutput;
class RingTonePlayer;

// Set by every link answer of the handset; while it is 1, StartHandsetLink
// sends nothing.
extern std::atomic<int> g_bHandsetActive;

// lParam of WM_HANDSET_INPUT for a report of four bytes or fewer.
inline constexpr std::uint32_t kShortReportParam = 0xFFFFFFFFu;

// The rest of the program as the handset object uses it. Everything given must
// outlive the input and transfer threads (see StopThreads).
struct HandsetPorts {
    I_CallStore* calls = nullptr;
    I_UserStore* users = nullptr;
    I_AccessSkypeAPI* skype = nullptr;
    ISkypeWire* wire = nullptr;  // command texts sent directly by the key handler
    IHandsetWindows* windows = nullptr;
    IHandsetFaders* faders = nullptr;
    ISoundOutput* sound = nullptr;  // key tones
    RingTonePlayer* ringTone = nullptr;
    // Optional: the handset's states and failures (level 1) for the log.
    void (*trace)(int level, const char* line) = nullptr;
};

class CHsdHid : public ILinkHandset {
public:
    // Binds the HID library through library (may be null: no handset).
    explicit CHsdHid(IHidLibrary* library);
    // Stops both threads (waiting for them), resets the device and frees the
    // HID library.
    ~CHsdHid() override;
    CHsdHid(const CHsdHid&) = delete;
    CHsdHid& operator=(const CHsdHid&) = delete;

    // Wiring, on the main thread before StartHandset.
    void Connect(const HandsetPorts& ports);
    void ApplyConfiguration(const ConfigSwitches& switches, int reg04Value, int reg1CValue);

    // Operations used by the shell; each forwards to the HID component and
    // fails without calling anything when there is none.
    bool ReopenHandset();
    bool StartHandset(void* notifyWindow);
    bool StopHandsetReading();
    bool ResetHandset();
    bool SendHandsetCommandData(unsigned char command, unsigned char data);
    bool SetCodecRegister(unsigned char reg, unsigned char value1, unsigned char value2);
    bool StartTransfer();
    bool ClearInput();
    HsdStatus BindFontProcess(CHsdFontProcess* font);
    HsdStatus ApplySupportedARF();
    // The device re-check's transfer stop when the handset has gone: as
    // StopTransferAndWait, with a 10 ms pause after the request.
    void StopTransferForRemoval();
    // Stops a transfer and the input thread and waits for both, so that the
    // stores and the Skype link may be deleted afterwards. Shutdown only.
    void StopThreads();

    // WM_HANDSET_INPUT: queues the input word; returns 1.
    int OnHidInput(std::uint32_t wParam, std::uint32_t lParam);
    // The keypad handler: the four bytes of an input word (code in bytes[2]); returns 1.
    int HandleHandsetKey(const unsigned char bytes[4]);
    // Both directions of the Skype client's background grid: a click when its
    // third tab is selected and the grid is visible.
    void ClickSkypeBgGridIfTab2();
    void LeaveListMode();

    // ILinkHandset
    bool SendHandsetCommand(unsigned char code) override;
    int HandleKeyEvent(int code) override;
    void StopTransferAndWait() override;
    unsigned int GetModeFlags() override { return modeFlags.load(); }
    void SetModeFlags(unsigned int flags) override { modeFlags.store(flags); }
    void AddModeFlags(unsigned int bits) override { modeFlags.fetch_or(bits); }
    void SetLinkOpen(int value) override { linkOpen.store(value); }
    void SetKeysEnabled(int value) override { keysEnabled.store(value); }
    bool IsHandsetPresent() override { return handsetPresent.load() != 0; }
    bool IsTransferBusy() override { return transferBusy.load() != 0; }
    void SetAbortTransfer(int value) override { abortTransfer.store(value); }
    void StartHandsetLink() override;
    void ClearHandsetActive() override { g_bHandsetActive.store(0); }
    bool FontSupport() override { return fontSupport.load() != 0; }
    int GetProtocolVersion() override { return protocolVersion.load(); }
    void SetProtocolVersion(int version) override { protocolVersion.store(version); }

    void SetHandsetPresent(int value) { handsetPresent.store(value); }
    int LinkOpen() const { return linkOpen.load(); }
    int DisplayMode() const { return displayMode.load(); }
    int AbortTransferFlag() const { return abortTransfer.load(); }
    void SetAcceptAnySequence(int value) { acceptAnySequence.store(value); }
    int AcceptAnySequence() const { return acceptAnySequence.load(); }
    I_HsdHIDCtrl* HidCtrl() const { return hidCtrl; }
    CHsdFontProcess* FontProcess() const { return fontProcess.load(); }
    // Words still queued (the one being handled included).
    std::size_t QueuedInput();

    // Longest wait for a transfer to stop, and longest poll of a transfer
    // announced without a list, before the program gives up on the other side.
    static constexpr unsigned int kStopWaitLimitMs = 2000;
    static constexpr unsigned int kListPollLimitMs = 1000;

private:
    // Thread procedures.
    void HSD_ReadThreadProc();
    void HSD_Process2MCUData();

    void JoinThreads();
    void StopTransfer(unsigned int settleMs);
    void HandleInputWord(std::uint32_t word, int lastSequence, char* listText);
    void HandleLinkAnswer(int code);
    void Trace(const char* line);
    // Converts the shown contact's name, or its handle when it has none, into
    // the font component's stream; text receives it (kTextBufferSize bytes).
    void ConvertShownContact(char* text);
    void HandleBrowse(int direction, int lastSequence, char* listText);
    void HandleListKey(int lastSequence, char* listText);
    void StartListTransfer();
    void HandleTransferHandshake(int code, int sequence);
    void AskCallDetails(int callId);
    void ChooseListView(int view);
    void ShowMissedCallsView();
    void ShowBalance();
    void PlayKeyTone(const char* file, bool always, int callStatus);
    void StopSound();

    int AnswerKey(int callId, int callStatus, int secondId, int secondStatus);
    int HangUpKey(int callId, int callStatus, int secondId, int secondStatus);
    // Sends a command text to Skype's API window; 0 when empty or refused.
    int SendToSkype(const char* text);
    void AbortFontTransfer();

    // Transfers.
    template <typename Reader>
    bool PumpText(Reader read);
    bool Aborted() const { return transferAborted_ || abortTransfer.load() != 0; }
    // The pause between two display items; false when the transfer was called off meanwhile.
    bool PauseUnlessAborted(unsigned int ms);
    void SendCallTransfer(bool fontCodes);
    unsigned char CallEntryMarker(bool fontCodes);
    unsigned char ContactEntryMarker();
    void CloseTransfer();

public:
    // Fields, in the order of the handset object's data model.
    std::atomic<int> protocolVersion{0};
    std::atomic<int> keysEnabled{1};
    std::atomic<int> handsetPresent{0};
    std::atomic<int> fontSupport{1};
    std::atomic<int> supportSky{0};
    std::atomic<int> supportHideWindows{0};
    std::atomic<int> reg04Value{16};
    std::atomic<int> reg1CValue{8};
    std::atomic<int> displayMode{0};
    std::atomic<int> supportAGC{0};
    std::atomic<int> supportAutoRunSkype{0};
    std::atomic<int> supportAutoSwitchAudioDevice{0};
    std::atomic<int> supportAutoSwitchSystemAudioDevice{0};
    std::atomic<int> supportFocusAddressBook{0};
    std::atomic<int> supportARF{0};
    std::atomic<int> supportLimitCalls{0};
    std::atomic<unsigned int> modeFlags{0};
    std::atomic<int> acceptAnySequence{1};
    std::atomic<int> abortTransfer{0};
    std::atomic<int> transferBusy{0};
    std::atomic<int> linkOpen{0};

private:
    I_HsdHIDCtrl* hidCtrl = nullptr;
    std::atomic<CHsdFontProcess*> fontProcess{nullptr};
    std::deque<std::uint32_t> inputQueue;
    std::thread inputThread;
    std::thread transferThread;
    std::atomic<int> inputRunning{0};
    std::mutex lock;                    // guards inputQueue and inputGeneration
    std::uint64_t inputGeneration = 0;  // counts ClearInput calls
    std::condition_variable inputArrived;
    std::mutex threadLock;  // guards starting and joining the two threads
    IHidLibrary* hidModule = nullptr;

    HandsetPorts ports_;
    // Set by PumpText when it met an abort request (transfer thread only).
    bool transferAborted_ = false;
};
