// The protocol side of the Skype client simulator: the signed-in user's model
// and the engine that answers desktop API commands, runs calls through their
// status sequences and produces notifications. Portable: it knows nothing of
// windows; the transport hands it command texts and a clock, and carries out
// what it emits (texts to send, actions on the client's windows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skypesim {

// What the far party of an outgoing call does.
enum class AnswerPolicy {
    kManual,      // rings until a scenario event decides
    kAnswer,      // answers after the answer delay
    kBusy,        // busy
    kRefuse,      // refuses the call
    kFail,        // the call fails
    kVoicemail,   // no answer: the call goes to voicemail after the answer delay
    kEarlyMedia,  // early media instead of ringing, then answers
};
bool ParseAnswerPolicy(const std::string& word, AnswerPolicy* policy);

struct Contact {
    std::string handle;
    std::string fullName;
    std::string displayName;  // the local alias; empty when none is set
    std::string onlineStatus = "ONLINE";
    int buddyStatus = 3;     // 0 never, 1 deleted, 2 pending, 3 added
    bool hasPolicy = false;  // answers overrides the model's default
    AnswerPolicy answers = AnswerPolicy::kManual;
};

struct Call {
    int id = 0;
    std::string type;    // INCOMING_P2P, OUTGOING_P2P, INCOMING_PSTN, OUTGOING_PSTN
    std::string status;  // the API's status word
    std::string partnerHandle;
    std::string partnerDispName;
    long long timestamp = 0;  // start, seconds since 1970
    int duration = 0;         // seconds
    bool seen = true;
    int failureReason = 0;
    // Live calls only.
    long long answeredAtMs = -1;
    int lastDurationTick = 0;
};

bool IsTerminalStatus(const std::string& status);
bool IsIncomingType(const std::string& type);

// Everything the simulated client knows about its signed-in user.
struct Model {
    std::string currentUser = "vox.tester";
    std::string fullName = "Vox Tester";
    std::string userStatus = "ONLINE";
    std::string connStatus = "ONLINE";
    std::vector<Contact> contacts;
    std::vector<Call> calls;  // history and live calls
    bool skypeOut = true;
    bool skypeIn = false;
    bool voicemail = true;
    long long balance = 1250;  // smallest currency unit
    std::string currency = "EUR";
    std::string audioIn = "Microphone (High Definition Audio Device)";
    std::string audioOut = "Speakers (High Definition Audio Device)";
    std::string ringer = "Speakers (High Definition Audio Device)";
    std::vector<std::string> devices;  // known devices; empty: any name is accepted
    bool mute = false;
    int maxProtocol = 8;
    std::string version = "3.8.0.188";
    long long epochAtStart = 0;  // 0: the real clock at start
    int nextCallId = 0;          // 0: one above the highest id in the history
    // Timing of call sequences (milliseconds).
    int stepDelayMs = 200;
    int answerDelayMs = 2000;
    int ringTimeoutMs = 0;  // 0: an incoming call rings until someone acts
    bool durationTicks = false;
    AnswerPolicy outgoingPolicy = AnswerPolicy::kManual;

    Contact* FindContact(const std::string& handle);
    const Contact* FindContact(const std::string& handle) const;
    Call* FindCall(int id);
    const Call* FindCall(int id) const;
};

// The model the simulator starts with when a scenario says nothing else: a
// handful of contacts (Latin, Chinese, Japanese and Turkish names in UTF-8),
// a short call history with one unseen missed call, SkypeOut with a balance.
Model DefaultModel();

// What the engine asks the transport to do with the client's windows (and,
// for the last, with the attach handshake).
enum class WindowAction {
    kFocusMain,
    kShowConfirmDialog,
    kShowSerDialog,
    kCloseDialogs,
    kSelectTab,
    kHideMain,
    kAnnounceAvailable,
};

// Receives the engine's output in order.
class Sink {
public:
    virtual ~Sink() = default;
    // The reply to the command being handled: goes to the client that sent it.
    virtual void Reply(const std::string& text) = 0;
    // A notification: goes to every attached client.
    virtual void Notify(const std::string& text) = 0;
    virtual void Window(WindowAction action, int argument) = 0;
};

class Engine {
public:
    explicit Engine(Model model);

    // Fixes the wall clock: seconds since 1970 at nowMs 0 (used when the model
    // leaves epochAtStart at 0).
    void SetWallClock(long long epochSeconds);

    // An application has just attached: returns the texts the client sends it
    // unsolicited. The protocol starts again at 1 for it.
    std::vector<std::string> OnAttached();

    // One command text from an attached application.
    void HandleCommand(const std::string& text, long long nowMs, Sink& out);

    // Runs the scheduled steps of call sequences that are due.
    void Advance(long long nowMs, Sink& out);

    // Scenario events. Each returns false with an error text when it does not
    // apply (for example no call in a state the event needs).
    // waiting: the call waits behind a connected one and starts in early media.
    bool Ring(const std::string& handle, bool pstn, long long nowMs, Sink& out, int* callId,
              std::string* error, bool waiting = false);
    // kind: "answers", "hangs up", "busy", "refuses", "fails", "gives up",
    // "voicemail", "earlymedia", "holds", "resumes". callId 0: the most recent
    // call that fits.
    bool PartnerEvent(const std::string& kind, int callId, long long nowMs, Sink& out,
                      std::string* error);
    bool ContactStatus(const std::string& handle, const std::string& status, Sink& out,
                       std::string* error);
    bool ContactBuddy(const std::string& handle, int buddyStatus, Sink& out, std::string* error);
    void SetUserStatus(const std::string& status, Sink& out);
    void SetConnStatus(const std::string& status, Sink& out);
    void SetBalance(long long balance, Sink& out);
    void HistoryChanged(Sink& out);

    const Model& model() const { return model_; }
    Model& mutableModel() { return model_; }
    int protocol() const { return protocol_; }
    const std::string& dialBuffer() const { return dialBuffer_; }
    int selectedContact() const { return selectedContact_; }

private:
    struct Pending {
        long long dueMs;
        int callId;
        std::string from;  // the status the call must still have
        std::string to;
    };

    void HandleGet(const std::vector<std::string>& w, long long nowMs, Sink& out);
    void HandleSet(const std::vector<std::string>& w, const std::string& text, long long nowMs,
                   Sink& out);
    void HandleSearch(const std::vector<std::string>& w, Sink& out);
    void HandleGetCall(const std::vector<std::string>& w, long long nowMs, Sink& out);
    void HandleSetCall(const std::vector<std::string>& w, long long nowMs, Sink& out);
    void HandleGetUser(const std::vector<std::string>& w, Sink& out);
    void HandleButton(const std::string& key, long long nowMs, Sink& out);
    void HandleHook(bool on, long long nowMs, Sink& out);
    void SetAudio(const std::string& what, std::string& slot, const std::string& name, Sink& out);

    // Places an outgoing call; the first status goes out as a reply when
    // asReply, else as a notification.
    int PlaceCall(const std::string& target, long long nowMs, Sink& out, bool asReply);
    void Schedule(const Call& call, long long atMs, const std::string& from, const std::string& to);
    void ChangeStatus(Call& call, const std::string& status, long long nowMs, Sink& out,
                      bool asReply);
    // Answers a ringing or held call, holding any other call in progress.
    void TakeCall(Call& call, long long nowMs, Sink& out, bool asReply);
    void HoldCall(Call& call, long long nowMs, Sink& out, bool asReply);
    // Ends a live call from this side; the resulting status depends on its state.
    void HangUp(Call& call, long long nowMs, Sink& out, bool asReply);
    bool IsLive(const Call& call) const;
    // An incoming call not yet answered: ringing, or waiting with early media.
    static bool IsRingingIn(const Call& call);
    bool IsOutgoingSetup(const Call& call) const;
    Call* LatestCall(bool (*fits)(const Call&));
    std::string StatusWordForClient(const std::string& status) const;
    std::string OnlineStatusForClient(const std::string& status) const;
    AnswerPolicy PolicyFor(const std::string& handle) const;
    long long WallSeconds(long long nowMs) const;
    int LiveDuration(const Call& call, long long nowMs) const;
    std::string CallProperty(const Call& call, const std::string& prop, long long nowMs,
                             bool* known) const;

    Model model_;
    int protocol_ = 1;
    long long wallClock_ = 0;
    std::vector<Pending> pending_;
    std::string dialBuffer_;
    int selectedContact_ = -1;
};

}  // namespace skypesim
