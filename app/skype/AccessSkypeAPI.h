// CAccessSkypeAPI: the link to the Skype desktop client. Notifications from
// Skype are queued by the window procedure and handled one at a time by the
// notification thread; commands are queued from any thread and sent in queue
// order by a command thread that lives while commands are pending; attach
// requests run on short-lived workers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "Configuration.h"
#include "I_AccessSkypeAPI.h"
#include "SkypeCommandCodes.h"
#include "SkypeCommandSender.h"
#include "SkypeLinkPorts.h"

// Also the contact store's way to ask Skype for display names
// (I_SkypeCommandSender, with the same SendSkypeCommand).
class CAccessSkypeAPI final : public I_AccessSkypeAPI, public I_SkypeCommandSender {
public:
    // Command texts are built in buffers of this size.
    static constexpr std::size_t kCommandBufferSize = 256;
    static constexpr unsigned int kReleasePauseMs = 400;
    static constexpr unsigned int kHandsetCommandPauseMs = 20;
    // Within the exit's bound of 3 s, after the program's own pauses.
    static constexpr unsigned int kDrainLimitMs = 1000;

    // Starts the notification thread and a first command thread. Every port
    // except the trace must be given and must outlive the object.
    explicit CAccessSkypeAPI(const SkypeLinkPorts& ports);

    // Has the notification thread look for Skype's confirmation window: called
    // when a window of its class was created or shown (newWindow: created, a
    // new appearance to announce), or when the one seen was hidden or
    // destroyed. The thread also looks once at its start and after each
    // notification; it does not poll.
    void LookForConfirmationWindow(bool newWindow);
    // Stops the notification thread and every worker, gives the command
    // thread up to kDrainLimitMs to send the texts still queued (the release
    // commands at exit), then stops it and waits for all of them to end; texts
    // left after that are discarded.
    ~CAccessSkypeAPI() override;

    CAccessSkypeAPI(const CAccessSkypeAPI&) = delete;
    CAccessSkypeAPI& operator=(const CAccessSkypeAPI&) = delete;

    // Gives the link the two stores when the program creates them after the
    // link: before the first notification is queued or request started, and
    // they must outlive the link. Until then notifications are dropped.
    void ConnectStores(I_CallStore* calls, I_UserStore* users);

    HsdStatus AddToMessageInQueue(const char* text) override;
    HsdStatus AddToMessageOutQueue(const char* text) override;
    HsdStatus SendSkypeCommand(unsigned char code, const char* userHandle, int callId) override;
    HsdStatus GetRegisterDefaults(int* reg04Value, int* reg1CValue) override;
    HsdStatus LoadConfiguration(const char* programFolder, ConfigSwitches* switches) override;
    HsdStatus GetAudioDeviceNames(char* audioIn, std::size_t audioInSize, char* audioOut,
                                  std::size_t audioOutSize) override;
    HsdStatus FillRingList(void* dialog, int comboId) override;
    HsdStatus GetWindowName(char* out, std::size_t size) override;
    HsdStatus GetFileNoHW(char* out, std::size_t size) override;
    HsdStatus GetFileNoSkype(char* out, std::size_t size) override;
    HsdStatus GetFileActive(char* out, std::size_t size) override;
    HsdStatus GetCustomerInfo(char* out, std::size_t size) override;
    HsdStatus SetHandsetDisplayMode(int on) override;
    HsdStatus StartQueueAPIThread(int request) override;
    HsdStatus SetFontProcess(CHsdFontProcess* fontProcess) override;
    HsdStatus UpdateTrayState() override;
    HsdStatus GetUserStatus(int* status) override;
    HsdStatus ShowMissedCalls(int ignored) override;
    HsdStatus SendUserStatusToHandset(int status) override;

    const Configuration& Config() const { return m_config; }
    int CallsLoaded() const { return m_bCallsLoaded.load(); }
    // How many notifications the notification thread has handled so far.
    std::uint64_t HandledNotifications() const { return m_nHandledNotifications.load(); }
    // The signed-in user's handle as Skype last reported it.
    std::string CurrentUserHandle();

private:
    bool StoresConnected() const;
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void MessageInQueueThreadProc();
    void MessageOutQueueThreadProc();
    void QueueAPIThreadProc(int request);
    void ProcessQueueAPIMessage(int request);
    // What the notification thread keeps from one notification to the next.
    struct NotificationState {
        // The current call as read from the call store before the notification.
        int currentCallId = 0;
        int currentCallStatus = -1;
        // The last id of the latest history reload whose SEEN reply is awaited; 0: none.
        int lastListedCallId = 0;
        bool confirmationShown = false;
    };

    // Handles one notification; returns true when the confirmation-window
    // watch is to be skipped after it.
    bool DispatchNotification(const std::string& text, NotificationState& state);
    void WatchConfirmationWindow(NotificationState& state);

    // Call notifications and the call state machine (CallNotifications.cpp).
    bool HandleCallNotification(const char* text, NotificationState& state);
    bool HandleCallStatus(int id, const char* word, const NotificationState& state);
    void HandleCallFailure(int id, int code, const NotificationState& state);
    void HandleCallFinished(int id, const NotificationState& state);
    void HandleCallHandle(int id, const char* handle, const NotificationState& state);
    void HandleCallDisplayName(int id, const char* text, const NotificationState& state);
    void HandleCallSeen(int id, const char* word, NotificationState& state);
    void HandleCallTimestamp(int id, const char* text, const NotificationState& state);
    void HandleCallHistoryChanged();
    void HandleCallsReply(const char* text, NotificationState& state);
    void RequestCallerIdentity(int id);
    void RequestCallDetails(int id, bool seenBeforeType);
    void WrapUpCall(int id);
    void RefuseCall(int id);
    // Whether id is the second call's (never for an empty second-call record).
    bool IsSecondCall(int id);
    void CompleteHistoryLoad(NotificationState& state);

    // User, profile and connection notifications (UserNotifications.cpp).
    void HandleProtocol(const char* text);
    void HandleUser(const char* text);
    void HandleConnStatus(const char* text);
    void HandleUserStatus(const char* text);
    void HandlePrivilege(const char* text);
    void HandleProfile(const char* text);
    void HandleCurrentUserHandle(const char* text);
    void HandleMute(const char* text);
    void HandleAudioDevice(const char* text, bool input);
    void ReportOffLine();

    // The PC ring tone, when the shell gave a player.
    void StartRingTone();
    void StopRingTone();
    // Joins the workers that have finished; m_csWorkers is held.
    void ReapFinishedWorkers();
    void Trace(const char* format, const char* text = nullptr);

    SkypeLinkPorts m_ports;

    std::deque<std::string> m_MessageInQueue;
    std::deque<std::string> m_MessageOutQueue;
    Configuration m_config;
    char m_szCurrentUserHandle[260] = {};

    std::thread m_inThread;
    std::thread m_outThread;
    std::list<std::unique_ptr<Worker>> m_workers;

    std::atomic<int> m_bMessageInRunning{1};
    std::atomic<int> m_bMessageOutRunning{1};
    std::atomic<int> m_bHandsetDisplay{0};
    std::mutex m_csMessageIn;
    std::mutex m_csMessageOut;
    std::mutex m_csWorkers;
    std::condition_variable m_messageInArrived;
    std::condition_variable m_messageOutArrived;
    // Set by every queued command; cleared by a refused send or an empty text,
    // after which the queued texts wait for the next command.
    bool m_bSendingCommands = false;  // m_csMessageOut
    bool m_bSendInFlight = false;     // m_csMessageOut
    // Look requests for the notification thread (m_csMessageIn).
    bool m_bLookForConfirmation = true;
    bool m_bNewConfirmation = false;
    // Signalled after every send, for the drain at destruction.
    std::condition_variable m_messageOutSent;
    std::atomic<int> m_nUserStatus{-1};
    std::atomic<CHsdFontProcess*> m_pFontProcess{nullptr};
    // Guards the texts Skype reported that other threads read: the audio
    // device names and m_szCurrentUserHandle.
    std::mutex m_csAudioNames;
    std::string m_strAudioIn;
    std::string m_strAudioOut;
    std::atomic<int> m_bCallsLoaded{0};
    std::atomic<std::uint64_t> m_nHandledNotifications{0};
    // Set when destruction begins: no thread or worker is started after it.
    std::atomic<bool> m_bStopping{false};
};

// The text of a command code, formatted into out (kCommandBufferSize bytes):
// "%s" takes userHandle (or, for codes 3, 4 and 31, deviceName; for 16, name),
// "%d" takes callId. Over-long texts are cut to fit, never in the middle of a
// UTF-8 character. Returns false, leaving out empty, for codes without a
// command (0, 14, 26, above 32) and for the device codes without a device name.
bool FormatSkypeCommand(unsigned char code, const char* userHandle, int callId,
                        const char* deviceName, const char* name, char* out);
