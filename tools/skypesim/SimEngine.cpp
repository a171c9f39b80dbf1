#include "SimEngine.h"

#include "SimText.h"

#include <algorithm>
#include <cctype>
#include <functional>

namespace skypesim {

namespace {

const char* const kUserStatuses[] = {"ONLINE", "OFFLINE", "SKYPEME",  "AWAY",
                                     "NA",     "DND",     "INVISIBLE"};

bool IsOneOf(const std::string& word, std::initializer_list<const char*> words) {
    for (const char* w : words) {
        if (word == w) {
            return true;
        }
    }
    return false;
}

bool LooksLikeNumber(const std::string& target) {
    return !target.empty() &&
           (target[0] == '+' || std::isdigit(static_cast<unsigned char>(target[0])));
}

bool ValidHandle(const std::string& handle) {
    if (handle.empty()) {
        return false;
    }
    for (unsigned char c : handle) {
        if (c < 0x20 || c == ',') {
            return false;
        }
    }
    return true;
}

std::string JoinIds(const std::vector<int>& ids) {
    std::string out;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += std::to_string(ids[i]);
    }
    return out;
}

}  // namespace

bool ParseAnswerPolicy(const std::string& word, AnswerPolicy* policy) {
    const std::string w = Upper(word);
    if (w == "MANUAL") {
        *policy = AnswerPolicy::kManual;
    } else if (w == "ANSWER" || w == "AUTO") {
        *policy = AnswerPolicy::kAnswer;
    } else if (w == "BUSY") {
        *policy = AnswerPolicy::kBusy;
    } else if (w == "REFUSE") {
        *policy = AnswerPolicy::kRefuse;
    } else if (w == "FAIL") {
        *policy = AnswerPolicy::kFail;
    } else if (w == "VOICEMAIL") {
        *policy = AnswerPolicy::kVoicemail;
    } else if (w == "EARLYMEDIA") {
        *policy = AnswerPolicy::kEarlyMedia;
    } else {
        return false;
    }
    return true;
}

bool IsTerminalStatus(const std::string& s) {
    return IsOneOf(s, {"FINISHED", "MISSED", "REFUSED", "BUSY", "CANCELLED", "FAILED", "VM_SENT",
                       "VM_CANCELLED", "VM_FAILED"});
}

bool IsIncomingType(const std::string& type) {
    return type.rfind("INCOMING", 0) == 0;
}

Contact* Model::FindContact(const std::string& handle) {
    for (Contact& c : contacts) {
        if (EqualsNoCase(c.handle, handle)) {
            return &c;
        }
    }
    return nullptr;
}

const Contact* Model::FindContact(const std::string& handle) const {
    return const_cast<Model*>(this)->FindContact(handle);
}

Call* Model::FindCall(int id) {
    for (Call& c : calls) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

const Call* Model::FindCall(int id) const {
    return const_cast<Model*>(this)->FindCall(id);
}

Model DefaultModel() {
    Model m;
    auto contact = [&m](const char* handle, const char* full, const char* display,
                        const char* status) {
        Contact c;
        c.handle = handle;
        c.fullName = full;
        c.displayName = display;
        c.onlineStatus = status;
        m.contacts.push_back(c);
    };
    contact("echo123", "Echo / Sound Test Service", "", "ONLINE");
    contact("alice.andersen", "Alice Andersen", "Alice", "ONLINE");
    contact("bob.brown", "Bob Brown", "", "AWAY");
    contact("wang.xiaoming", "王小明", "", "ONLINE");
    contact("yamada.taro", "山田太郎", "やまだ", "DND");
    contact("ayse.yilmaz", "Ayşe Yılmaz", "", "OFFLINE");
    // The echo service picks up by itself, as the real one does.
    m.contacts[0].hasPolicy = true;
    m.contacts[0].answers = AnswerPolicy::kAnswer;

    const long long base = 1764000000;  // late November 2025
    auto call = [&m](int id, const char* type, const char* status, const char* handle,
                     const char* name, long long ts, int duration, bool seen) {
        Call c;
        c.id = id;
        c.type = type;
        c.status = status;
        c.partnerHandle = handle;
        c.partnerDispName = name;
        c.timestamp = ts;
        c.duration = duration;
        c.seen = seen;
        m.calls.push_back(c);
    };
    call(101, "OUTGOING_P2P", "FINISHED", "alice.andersen", "Alice", base, 312, true);
    call(102, "INCOMING_P2P", "FINISHED", "wang.xiaoming", "王小明", base + 3600, 95, true);
    call(103, "OUTGOING_PSTN", "FINISHED", "+4930123456", "", base + 7200, 61, true);
    call(104, "INCOMING_P2P", "MISSED", "bob.brown", "Bob Brown", base + 10800, 0, false);
    return m;
}

Engine::Engine(Model model) : model_(std::move(model)) {
    if (model_.nextCallId <= 0) {
        int highest = 999;
        for (const Call& c : model_.calls) {
            highest = std::max(highest, c.id);
        }
        model_.nextCallId = highest + 1;
    }
}

void Engine::SetWallClock(long long epochSeconds) {
    wallClock_ = epochSeconds;
}

long long Engine::WallSeconds(long long nowMs) const {
    const long long base = model_.epochAtStart != 0 ? model_.epochAtStart : wallClock_;
    return base + nowMs / 1000;
}

std::vector<std::string> Engine::OnAttached() {
    protocol_ = 1;  // every application starts at protocol 1 until it asks for more
    return {"CONNSTATUS " + model_.connStatus, "CURRENTUSERHANDLE " + model_.currentUser,
            "USERSTATUS " + OnlineStatusForClient(model_.userStatus)};
}

std::string Engine::StatusWordForClient(const std::string& status) const {
    // Protocol 1 knows no LOCALHOLD or REMOTEHOLD: a held call is ONHOLD.
    if (protocol_ < 2 && (status == "LOCALHOLD" || status == "REMOTEHOLD")) {
        return "ONHOLD";
    }
    return status;
}

std::string Engine::OnlineStatusForClient(const std::string& status) const {
    // SKYPEME arrived with protocol 2; older applications see ONLINE.
    if (protocol_ < 2 && status == "SKYPEME") {
        return "ONLINE";
    }
    return status;
}

void Engine::HandleCommand(const std::string& text, long long nowMs, Sink& out) {
    const std::vector<std::string> w = SplitWords(text);
    if (w.empty()) {
        out.Reply("ERROR 1 General syntax error");
        return;
    }
    const std::string cmd = Upper(w[0]);
    if (cmd == "PROTOCOL") {
        long long requested = 0;
        if (w.size() < 2 || !ParseInt(w[1], &requested) || requested < 1) {
            out.Reply("ERROR 27 Invalid version number");
            return;
        }
        protocol_ = static_cast<int>(std::min<long long>(requested, model_.maxProtocol));
        out.Reply("PROTOCOL " + std::to_string(protocol_));
    } else if (cmd == "PING") {
        out.Reply("PONG");
    } else if (cmd == "NAME") {
        out.Reply("OK");
    } else if (cmd == "GET") {
        HandleGet(w, nowMs, out);
    } else if (cmd == "SET") {
        HandleSet(w, text, nowMs, out);
    } else if (cmd == "SEARCH") {
        HandleSearch(w, out);
    } else if (cmd == "CALL") {
        std::string target = w.size() >= 2 ? w[1] : std::string();
        if (!target.empty() && target.back() == ',') {
            target.pop_back();  // a conference list: the first target only
        }
        if (!ValidHandle(target)) {
            out.Reply("ERROR 34 invalid user handle");
        } else if (model_.userStatus == "OFFLINE" || model_.userStatus == "LOGGEDOUT") {
            out.Reply("ERROR 36 Not online");
        } else if (model_.connStatus != "ONLINE") {
            out.Reply("ERROR 35 Not connected");
        } else {
            PlaceCall(target, nowMs, out, true);
        }
    } else if (cmd == "FOCUS") {
        out.Reply("FOCUS");
        out.Window(WindowAction::kFocusMain, 0);
    } else if (cmd == "MINIMIZE") {
        out.Reply("MINIMIZE");
        out.Window(WindowAction::kHideMain, 0);
    } else if (cmd == "HOOK") {
        const std::string v = w.size() >= 2 ? Upper(w[1]) : std::string();
        if (w.size() != 2 || (v != "ON" && v != "OFF")) {
            out.Reply("ERROR 53 invalid value");
            return;
        }
        out.Reply("HOOK " + v);
        HandleHook(v == "ON", nowMs, out);
    } else if (cmd == "BTN_PRESSED" || cmd == "BTN_RELEASED") {
        const std::string key = w.size() == 2 ? Upper(w[1]) : std::string();
        const bool single = key.size() == 1 && (std::isalnum(static_cast<unsigned char>(key[0])) ||
                                                key[0] == '#' || key[0] == '*' || key[0] == '+');
        const bool named = IsOneOf(key, {"UP", "DOWN", "YES", "NO", "SKYPE", "PAGEUP", "PAGEDOWN"});
        if (!single && !named) {
            out.Reply("ERROR 74 Invalid key");
            return;
        }
        out.Reply(cmd + " " + key);
        if (cmd == "BTN_RELEASED") {
            HandleButton(key, nowMs, out);
        }
    } else {
        out.Reply("ERROR 2 Unknown command");
    }
}

void Engine::HandleGet(const std::vector<std::string>& w, long long nowMs, Sink& out) {
    const std::string what = w.size() >= 2 ? Upper(w[1]) : std::string();
    if (what == "SKYPEVERSION") {
        out.Reply("SKYPEVERSION " + model_.version);
    } else if (what == "USERSTATUS") {
        out.Reply("USERSTATUS " + OnlineStatusForClient(model_.userStatus));
    } else if (what == "CONNSTATUS") {
        out.Reply("CONNSTATUS " + model_.connStatus);
    } else if (what == "CURRENTUSERHANDLE") {
        out.Reply("CURRENTUSERHANDLE " + model_.currentUser);
    } else if (what == "MUTE") {
        out.Reply(std::string("MUTE ") + (model_.mute ? "ON" : "OFF"));
    } else if (what == "AUDIO_IN") {
        out.Reply("AUDIO_IN " + model_.audioIn);
    } else if (what == "AUDIO_OUT") {
        out.Reply("AUDIO_OUT " + model_.audioOut);
    } else if (what == "RINGER") {
        out.Reply("RINGER " + model_.ringer);
    } else if (what == "PRIVILEGE") {
        const std::string p = w.size() >= 3 ? Upper(w[2]) : std::string();
        bool value = false;
        if (p == "SKYPEOUT") {
            value = model_.skypeOut;
        } else if (p == "SKYPEIN") {
            value = model_.skypeIn;
        } else if (p == "VOICEMAIL") {
            value = model_.voicemail;
        } else {
            out.Reply("ERROR 40 Unknown privilege");
            return;
        }
        out.Reply("PRIVILEGE " + p + (value ? " TRUE" : " FALSE"));
    } else if (what == "PROFILE") {
        const std::string p = w.size() >= 3 ? Upper(w[2]) : std::string();
        if (p == "PSTN_BALANCE") {
            out.Reply("PROFILE PSTN_BALANCE " + std::to_string(model_.balance));
        } else if (p == "PSTN_BALANCE_CURRENCY") {
            out.Reply("PROFILE PSTN_BALANCE_CURRENCY " + model_.currency);
        } else if (p == "FULLNAME") {
            out.Reply("PROFILE FULLNAME " + model_.fullName);
        } else {
            out.Reply("ERROR 7 GET: invalid WHAT");
        }
    } else if (what == "USER") {
        HandleGetUser(w, out);
    } else if (what == "CALL") {
        HandleGetCall(w, nowMs, out);
    } else {
        out.Reply("ERROR 7 GET: invalid WHAT");
    }
}

void Engine::HandleGetUser(const std::vector<std::string>& w, Sink& out) {
    if (w.size() < 3 || !ValidHandle(w[2])) {
        out.Reply("ERROR 8 Invalid user handle");
        return;
    }
    if (w.size() < 4) {
        out.Reply("ERROR 10 Invalid PROP");
        return;
    }
    const std::string& handle = w[2];
    const std::string prop = Upper(w[3]);
    const Contact* contact = model_.FindContact(handle);
    const bool self = EqualsNoCase(handle, model_.currentUser);
    std::string value;
    if (prop == "HANDLE") {
        value = contact ? contact->handle : handle;
    } else if (prop == "FULLNAME") {
        value = contact ? contact->fullName : (self ? model_.fullName : "");
    } else if (prop == "DISPLAYNAME") {
        value = contact ? contact->displayName : "";
    } else if (prop == "ONLINESTATUS") {
        value = contact ? OnlineStatusForClient(contact->onlineStatus)
                        : (self ? OnlineStatusForClient(model_.userStatus) : "UNKNOWN");
    } else if (prop == "BUDDYSTATUS") {
        value = std::to_string(contact ? contact->buddyStatus : 0);
    } else if (prop == "ISAUTHORIZED") {
        value = contact && contact->buddyStatus == 3 ? "TRUE" : "FALSE";
    } else if (prop == "ISBLOCKED") {
        value = "FALSE";
    } else {
        out.Reply("ERROR 10 Invalid PROP");
        return;
    }
    out.Reply("USER " + handle + " " + prop + " " + value);
}

std::string Engine::CallProperty(const Call& call, const std::string& prop, long long nowMs,
                                 bool* known) const {
    *known = true;
    if (prop == "TYPE") {
        return call.type;
    }
    if (prop == "STATUS") {
        return StatusWordForClient(call.status);
    }
    if (prop == "PARTNER_HANDLE") {
        return call.partnerHandle;
    }
    if (prop == "PARTNER_DISPNAME") {
        return call.partnerDispName;
    }
    if (prop == "TIMESTAMP") {
        return std::to_string(call.timestamp);
    }
    if (prop == "DURATION") {
        return std::to_string(IsTerminalStatus(call.status) ? call.duration
                                                            : LiveDuration(call, nowMs));
    }
    if (prop == "SEEN") {
        return call.seen ? "TRUE" : "FALSE";
    }
    if (prop == "FAILUREREASON") {
        return std::to_string(call.failureReason);
    }
    if (prop == "PSTN_NUMBER") {
        return call.type.find("PSTN") != std::string::npos ? call.partnerHandle : "";
    }
    if (prop == "PSTN_STATUS" || prop == "SUBJECT") {
        return "";
    }
    if (prop == "CONF_ID") {
        return "0";
    }
    *known = false;
    return "";
}

void Engine::HandleGetCall(const std::vector<std::string>& w, long long nowMs, Sink& out) {
    long long id = 0;
    if (w.size() < 3 || !ParseInt(w[2], &id) || id <= 0 || id > 0x7FFFFFFF) {
        out.Reply("ERROR 11 Invalid call id");
        return;
    }
    const Call* call = model_.FindCall(static_cast<int>(id));
    if (call == nullptr) {
        out.Reply("ERROR 12 Unknown call");
        return;
    }
    if (w.size() < 4) {
        out.Reply("ERROR 13 Invalid PROP");
        return;
    }
    const std::string prop = Upper(w[3]);
    bool known = false;
    const std::string value = CallProperty(*call, prop, nowMs, &known);
    if (!known) {
        out.Reply("ERROR 13 Invalid PROP");
        return;
    }
    out.Reply("CALL " + std::to_string(call->id) + " " + prop + " " + value);
}

void Engine::SetAudio(const std::string& what, std::string& slot, const std::string& name,
                      Sink& out) {
    if (!name.empty() && !model_.devices.empty() &&
        std::find(model_.devices.begin(), model_.devices.end(), name) == model_.devices.end()) {
        out.Reply("ERROR 50 cannot set device");
        return;
    }
    slot = name;  // an empty name gives the client back the system's default device
    out.Reply(what + " " + name);
}

void Engine::HandleSet(const std::vector<std::string>& w, const std::string& text, long long nowMs,
                       Sink& out) {
    const std::string what = w.size() >= 2 ? Upper(w[1]) : std::string();
    if (what == "USERSTATUS") {
        const std::string status = w.size() == 3 ? Upper(w[2]) : std::string();
        if (std::find(std::begin(kUserStatuses), std::end(kUserStatuses), status) ==
            std::end(kUserStatuses)) {
            out.Reply("ERROR 28 Unknown userstatus");
            return;
        }
        const bool wasOffline = model_.connStatus != "ONLINE";
        model_.userStatus = status;
        if (status == "OFFLINE") {
            out.Reply("USERSTATUS OFFLINE");
            if (!wasOffline) {
                model_.connStatus = "OFFLINE";
                out.Notify("CONNSTATUS OFFLINE");
            }
            return;
        }
        if (wasOffline) {
            // Going on line again reconnects first.
            model_.connStatus = "ONLINE";
            out.Notify("CONNSTATUS CONNECTING");
            out.Notify("CONNSTATUS ONLINE");
        }
        out.Reply("USERSTATUS " + OnlineStatusForClient(status));
    } else if (what == "MUTE") {
        const std::string v = w.size() == 3 ? Upper(w[2]) : std::string();
        if (v != "ON" && v != "OFF") {
            out.Reply("ERROR 53 invalid value");
            return;
        }
        model_.mute = v == "ON";
        out.Reply("MUTE " + v);
    } else if (what == "AUDIO_IN") {
        SetAudio("AUDIO_IN", model_.audioIn, RestAfterWords(text, 2), out);
    } else if (what == "AUDIO_OUT") {
        SetAudio("AUDIO_OUT", model_.audioOut, RestAfterWords(text, 2), out);
    } else if (what == "RINGER") {
        SetAudio("RINGER", model_.ringer, RestAfterWords(text, 2), out);
    } else if (what == "CALL") {
        HandleSetCall(w, nowMs, out);
    } else {
        out.Reply("ERROR 18 SET: invalid WHAT");
    }
}

void Engine::HandleSetCall(const std::vector<std::string>& w, long long nowMs, Sink& out) {
    long long id = 0;
    if (w.size() < 3 || !ParseInt(w[2], &id) || id <= 0 || id > 0x7FFFFFFF) {
        out.Reply("ERROR 19 Invalid call id");
        return;
    }
    Call* call = model_.FindCall(static_cast<int>(id));
    if (call == nullptr) {
        out.Reply("ERROR 20 Unknown call");
        return;
    }
    const std::string prop = w.size() >= 4 ? Upper(w[3]) : std::string();
    const std::string value = w.size() >= 5 ? Upper(w[4]) : std::string();
    const std::string prefix = "CALL " + std::to_string(call->id) + " ";
    if (prop == "STATUS") {
        if (value == "INPROGRESS") {
            if (call->status == "INPROGRESS") {
                out.Reply(prefix + "STATUS INPROGRESS");
            } else if (IsRingingIn(*call) || call->status == "LOCALHOLD" ||
                       call->status == "ONHOLD") {
                TakeCall(*call, nowMs, out, true);
            } else {
                out.Reply("ERROR 23 Cannot resume this call at the moment");
            }
        } else if (value == "ONHOLD") {
            if (call->status == "INPROGRESS") {
                HoldCall(*call, nowMs, out, true);
            } else if (call->status == "LOCALHOLD") {
                out.Reply(prefix + "STATUS " + StatusWordForClient(call->status));
            } else {
                out.Reply("ERROR 22 Cannot hold this call at the moment");
            }
        } else if (value == "FINISHED") {
            if (IsLive(*call)) {
                HangUp(*call, nowMs, out, true);
            } else {
                out.Reply("ERROR 24 Cannot hangup inactive call");
            }
        } else {
            out.Reply("ERROR 21 Unknown/disallowed call prop");
        }
    } else if (prop == "DTMF") {
        const bool validTone = w.size() == 5 && value.size() == 1 &&
                               (std::isdigit(static_cast<unsigned char>(value[0])) ||
                                value[0] == '*' || value[0] == '#');
        if (!validTone) {
            out.Reply("ERROR 42 Invalid DTMF code");
        } else if (call->status != "INPROGRESS") {
            out.Reply("ERROR 41 Call not active");
        } else {
            out.Reply(prefix + "DTMF " + value);
        }
    } else if (prop == "SEEN") {
        call->seen = true;
        out.Reply(prefix + "SEEN TRUE");
    } else {
        out.Reply("ERROR 21 Unknown/disallowed call prop");
    }
}

void Engine::HandleSearch(const std::vector<std::string>& w, Sink& out) {
    const std::string what = w.size() >= 2 ? Upper(w[1]) : std::string();
    if (what == "FRIENDS") {
        if (w.size() > 2) {
            out.Reply("ERROR 67 Target not allowed with SEARCH FRIENDS");
            return;
        }
        std::string list;
        for (const Contact& c : model_.contacts) {
            if (c.buddyStatus == 2 || c.buddyStatus == 3) {
                list += (list.empty() ? "" : ", ") + c.handle;
            }
        }
        out.Reply("USERS " + list);
        return;
    }
    if (what == "CALLS" || what == "MISSEDCALLS" || what == "ACTIVECALLS") {
        if (what == "MISSEDCALLS" && w.size() > 2) {
            out.Reply("ERROR 6 SEARCH MISSEDCALLS: target not allowed");
            return;
        }
        if (what == "CALLS" && w.size() > 3) {
            out.Reply("ERROR 5 Search CALLS: invalid target");
            return;
        }
        std::vector<const Call*> found;
        for (const Call& c : model_.calls) {
            bool take = true;
            if (what == "MISSEDCALLS") {
                take = c.status == "MISSED" && !c.seen;
            } else if (what == "ACTIVECALLS") {
                take = IsLive(c);
            } else if (w.size() == 3) {
                take = EqualsNoCase(c.partnerHandle, w[2]);
            }
            if (take) {
                found.push_back(&c);
            }
        }
        // Newest first.
        std::stable_sort(found.begin(), found.end(), [](const Call* a, const Call* b) {
            return a->timestamp != b->timestamp ? a->timestamp > b->timestamp : a->id > b->id;
        });
        std::vector<int> ids;
        for (const Call* c : found) {
            ids.push_back(c->id);
        }
        out.Reply("CALLS " + JoinIds(ids));
        return;
    }
    out.Reply("ERROR 3 Search: unknown WHAT");
}

bool Engine::IsRingingIn(const Call& call) {
    return IsIncomingType(call.type) && (call.status == "RINGING" || call.status == "EARLYMEDIA");
}

bool Engine::IsLive(const Call& call) const {
    return !IsTerminalStatus(call.status);
}

bool Engine::IsOutgoingSetup(const Call& call) const {
    return !IsIncomingType(call.type) &&
           IsOneOf(call.status, {"UNPLACED", "ROUTING", "RINGING", "EARLYMEDIA"});
}

int Engine::LiveDuration(const Call& call, long long nowMs) const {
    if (call.answeredAtMs < 0 || nowMs < call.answeredAtMs) {
        return 0;
    }
    return static_cast<int>((nowMs - call.answeredAtMs) / 1000);
}

AnswerPolicy Engine::PolicyFor(const std::string& handle) const {
    const Contact* c = model_.FindContact(handle);
    if (c != nullptr && c->hasPolicy) {
        return c->answers;
    }
    return model_.outgoingPolicy;
}

void Engine::Schedule(const Call& call, long long atMs, const std::string& from,
                      const std::string& to) {
    pending_.push_back(Pending{atMs, call.id, from, to});
}

void Engine::ChangeStatus(Call& call, const std::string& status, long long nowMs, Sink& out,
                          bool asReply) {
    call.status = status;
    if (status == "INPROGRESS" && call.answeredAtMs < 0) {
        call.answeredAtMs = nowMs;
        call.lastDurationTick = 0;
    }
    if (IsTerminalStatus(status)) {
        call.duration = LiveDuration(call, nowMs);
        call.seen = status != "MISSED";
    }
    const std::string text =
        "CALL " + std::to_string(call.id) + " STATUS " + StatusWordForClient(status);
    if (asReply) {
        out.Reply(text);
    } else {
        out.Notify(text);
    }
}

int Engine::PlaceCall(const std::string& target, long long nowMs, Sink& out, bool asReply) {
    const bool pstn = LooksLikeNumber(target);
    Call call;
    call.id = model_.nextCallId++;
    call.type = pstn ? "OUTGOING_PSTN" : "OUTGOING_P2P";
    const Contact* contact = model_.FindContact(target);
    call.partnerHandle = contact ? contact->handle : target;
    if (contact != nullptr) {
        call.partnerDispName =
            contact->displayName.empty() ? contact->fullName : contact->displayName;
    }
    call.timestamp = WallSeconds(nowMs);
    model_.calls.push_back(call);
    Call& c = model_.calls.back();

    const long long step = model_.stepDelayMs;
    long long t = nowMs;
    std::string prev;
    if (protocol_ >= 5) {
        ChangeStatus(c, "UNPLACED", nowMs, out, asReply);
        t += step;
        Schedule(c, t, "UNPLACED", "ROUTING");
    } else {
        ChangeStatus(c, "ROUTING", nowMs, out, asReply);
    }
    prev = "ROUTING";

    if (pstn && (!model_.skypeOut || model_.balance <= 0)) {
        c.failureReason = 4;  // no SkypeOut credit
        Schedule(c, t + step, prev, "FAILED");
        return c.id;
    }
    switch (PolicyFor(target)) {
        case AnswerPolicy::kBusy:
            Schedule(c, t + step, prev, "BUSY");
            break;
        case AnswerPolicy::kFail:
            c.failureReason = 1;
            Schedule(c, t + step, prev, "FAILED");
            break;
        case AnswerPolicy::kEarlyMedia:
            Schedule(c, t + step, prev, "EARLYMEDIA");
            Schedule(c, t + step + model_.answerDelayMs, "EARLYMEDIA", "INPROGRESS");
            break;
        case AnswerPolicy::kAnswer:
            Schedule(c, t + step, prev, "RINGING");
            Schedule(c, t + step + model_.answerDelayMs, "RINGING", "INPROGRESS");
            break;
        case AnswerPolicy::kRefuse:
            Schedule(c, t + step, prev, "RINGING");
            Schedule(c, t + step + model_.answerDelayMs, "RINGING", "REFUSED");
            break;
        case AnswerPolicy::kVoicemail: {
            Schedule(c, t + step, prev, "RINGING");
            const long long vm = t + step + model_.answerDelayMs;
            Schedule(c, vm, "RINGING", "VM_BUFFERING_GREETING");
            Schedule(c, vm + step, "VM_BUFFERING_GREETING", "VM_PLAYING_GREETING");
            Schedule(c, vm + 2 * step, "VM_PLAYING_GREETING", "VM_RECORDING");
            break;
        }
        case AnswerPolicy::kManual:
            Schedule(c, t + step, prev, "RINGING");
            break;
    }
    return c.id;
}

void Engine::HoldCall(Call& call, long long nowMs, Sink& out, bool asReply) {
    if (protocol_ >= 2) {
        const std::string text = "CALL " + std::to_string(call.id) + " STATUS ONHOLD";
        if (asReply) {
            out.Reply(text);
        } else {
            out.Notify(text);
        }
        ChangeStatus(call, "LOCALHOLD", nowMs, out, false);
    } else {
        ChangeStatus(call, "LOCALHOLD", nowMs, out, asReply);
    }
}

void Engine::TakeCall(Call& call, long long nowMs, Sink& out, bool asReply) {
    for (Call& other : model_.calls) {
        if (other.id != call.id && other.status == "INPROGRESS") {
            HoldCall(other, nowMs, out, false);
        }
    }
    ChangeStatus(call, "INPROGRESS", nowMs, out, asReply);
}

void Engine::HangUp(Call& call, long long nowMs, Sink& out, bool asReply) {
    const std::string& s = call.status;
    if (IsOneOf(s, {"INPROGRESS", "LOCALHOLD", "REMOTEHOLD", "ONHOLD"})) {
        ChangeStatus(call, "FINISHED", nowMs, out, asReply);
    } else if (IsRingingIn(call)) {
        ChangeStatus(call, "REFUSED", nowMs, out, asReply);
    } else if (IsOutgoingSetup(call)) {
        ChangeStatus(call, "CANCELLED", nowMs, out, asReply);
    } else if (s == "VM_RECORDING") {
        ChangeStatus(call, "VM_UPLOADING", nowMs, out, asReply);
        Schedule(call, nowMs + model_.stepDelayMs, "VM_UPLOADING", "VM_SENT");
    } else {
        ChangeStatus(call, "VM_CANCELLED", nowMs, out, asReply);
    }
}

void Engine::HandleHook(bool on, long long nowMs, Sink& out) {
    if (!on) {
        Call* ringing = LatestCall(
            [](const Call& c) { return IsIncomingType(c.type) && c.status == "RINGING"; });
        if (ringing != nullptr) {
            TakeCall(*ringing, nowMs, out, false);
        }
        return;
    }
    // Putting the phone down ends what is connected or being set up; held
    // calls and calls ringing in are left alone.
    for (Call& c : model_.calls) {
        if (c.status == "INPROGRESS" || c.status == "REMOTEHOLD" || IsOutgoingSetup(c) ||
            c.status.rfind("VM_", 0) == 0) {
            if (IsLive(c)) {
                HangUp(c, nowMs, out, false);
            }
        }
    }
}

void Engine::HandleButton(const std::string& key, long long nowMs, Sink& out) {
    const bool inCall =
        LatestCall([](const Call& c) { return c.status == "INPROGRESS"; }) != nullptr;
    if (key.size() == 1 && (std::isdigit(static_cast<unsigned char>(key[0])) || key == "*" ||
                            key == "#" || key == "+")) {
        if (!inCall) {
            dialBuffer_ += key;
        }
        return;
    }
    if (key == "YES") {
        Call* ringing = LatestCall(
            [](const Call& c) { return IsIncomingType(c.type) && c.status == "RINGING"; });
        if (ringing != nullptr) {
            TakeCall(*ringing, nowMs, out, false);
        } else if (!dialBuffer_.empty()) {
            const std::string number = dialBuffer_;
            dialBuffer_.clear();
            PlaceCall(number, nowMs, out, false);
        } else if (selectedContact_ >= 0 &&
                   selectedContact_ < static_cast<int>(model_.contacts.size())) {
            PlaceCall(model_.contacts[static_cast<size_t>(selectedContact_)].handle, nowMs, out,
                      false);
        }
    } else if (key == "NO") {
        Call* ringing = LatestCall(
            [](const Call& c) { return IsIncomingType(c.type) && c.status == "RINGING"; });
        Call* live = LatestCall([](const Call& c) { return !IsTerminalStatus(c.status); });
        if (ringing != nullptr) {
            HangUp(*ringing, nowMs, out, false);
        } else if (live != nullptr) {
            HangUp(*live, nowMs, out, false);
        } else {
            dialBuffer_.clear();
        }
    } else if (key == "UP" || key == "DOWN") {
        const int count = static_cast<int>(model_.contacts.size());
        if (count > 0) {
            selectedContact_ = key == "UP" ? std::max(0, selectedContact_ - 1)
                                           : std::min(count - 1, selectedContact_ + 1);
        }
    } else if (key == "SKYPE") {
        out.Window(WindowAction::kFocusMain, 0);
    }
}

Call* Engine::LatestCall(bool (*fits)(const Call&)) {
    for (auto it = model_.calls.rbegin(); it != model_.calls.rend(); ++it) {
        if (fits(*it)) {
            return &*it;
        }
    }
    return nullptr;
}

void Engine::Advance(long long nowMs, Sink& out) {
    for (;;) {
        auto due = pending_.end();
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (it->dueMs <= nowMs && (due == pending_.end() || it->dueMs < due->dueMs)) {
                due = it;
            }
        }
        if (due == pending_.end()) {
            break;
        }
        const Pending p = *due;
        pending_.erase(due);
        Call* call = model_.FindCall(p.callId);
        if (call == nullptr || call->status != p.from) {
            continue;  // the call moved on meanwhile; this step no longer applies
        }
        ChangeStatus(*call, p.to, p.dueMs, out, false);
    }
    if (model_.durationTicks) {
        for (Call& c : model_.calls) {
            if (c.status == "INPROGRESS" && c.answeredAtMs >= 0) {
                const int seconds = LiveDuration(c, nowMs);
                if (seconds > c.lastDurationTick) {
                    c.lastDurationTick = seconds;
                    out.Notify("CALL " + std::to_string(c.id) + " DURATION " +
                               std::to_string(seconds));
                }
            }
        }
    }
}

bool Engine::Ring(const std::string& handle, bool pstn, long long nowMs, Sink& out, int* callId,
                  std::string* error, bool waiting) {
    if (!ValidHandle(handle)) {
        *error = "a ringing call needs the caller's handle or number";
        return false;
    }
    Call call;
    call.id = model_.nextCallId++;
    call.type = pstn || LooksLikeNumber(handle) ? "INCOMING_PSTN" : "INCOMING_P2P";
    const Contact* contact = model_.FindContact(handle);
    call.partnerHandle = contact ? contact->handle : handle;
    if (contact != nullptr) {
        call.partnerDispName =
            contact->displayName.empty() ? contact->fullName : contact->displayName;
    }
    call.timestamp = WallSeconds(nowMs);
    call.seen = false;
    model_.calls.push_back(call);
    Call& c = model_.calls.back();
    // A call waiting behind a connected one announces itself with early media.
    const std::string ringing = waiting ? "EARLYMEDIA" : "RINGING";
    ChangeStatus(c, ringing, nowMs, out, false);
    if (model_.ringTimeoutMs > 0) {
        Schedule(c, nowMs + model_.ringTimeoutMs, ringing, "MISSED");
    }
    if (callId != nullptr) {
        *callId = c.id;
    }
    return true;
}

bool Engine::PartnerEvent(const std::string& kind, int callId, long long nowMs, Sink& out,
                          std::string* error) {
    std::function<bool(const Call&)> fits;
    const auto outgoingSetup = [this](const Call& c) { return IsOutgoingSetup(c); };
    if (kind == "answers" || kind == "busy" || kind == "refuses" || kind == "voicemail" ||
        kind == "earlymedia") {
        fits = outgoingSetup;
    } else if (kind == "hangs up" || kind == "fails") {
        fits = [this](const Call& c) { return IsLive(c); };
    } else if (kind == "gives up") {
        fits = [](const Call& c) { return IsRingingIn(c); };
    } else if (kind == "holds") {
        fits = [](const Call& c) { return c.status == "INPROGRESS"; };
    } else if (kind == "resumes") {
        fits = [](const Call& c) { return c.status == "REMOTEHOLD"; };
    } else {
        *error = "unknown partner event '" + kind + "'";
        return false;
    }
    Call* call = nullptr;
    if (callId != 0) {
        call = model_.FindCall(callId);
        if (call != nullptr && !fits(*call)) {
            call = nullptr;
        }
    } else {
        for (auto it = model_.calls.rbegin(); it != model_.calls.rend(); ++it) {
            if (fits(*it)) {
                call = &*it;
                break;
            }
        }
    }
    if (call == nullptr) {
        *error = "no call for the partner event '" + kind + "'";
        return false;
    }
    if (kind == "answers" || kind == "resumes") {
        ChangeStatus(*call, "INPROGRESS", nowMs, out, false);
    } else if (kind == "busy") {
        ChangeStatus(*call, "BUSY", nowMs, out, false);
    } else if (kind == "refuses") {
        ChangeStatus(*call, "REFUSED", nowMs, out, false);
    } else if (kind == "fails") {
        call->failureReason = 1;
        ChangeStatus(*call, "FAILED", nowMs, out, false);
    } else if (kind == "gives up") {
        ChangeStatus(*call, "MISSED", nowMs, out, false);
    } else if (kind == "earlymedia") {
        ChangeStatus(*call, "EARLYMEDIA", nowMs, out, false);
    } else if (kind == "holds") {
        ChangeStatus(*call, "REMOTEHOLD", nowMs, out, false);
    } else if (kind == "voicemail") {
        ChangeStatus(*call, "VM_BUFFERING_GREETING", nowMs, out, false);
        Schedule(*call, nowMs + model_.stepDelayMs, "VM_BUFFERING_GREETING", "VM_PLAYING_GREETING");
        Schedule(*call, nowMs + 2LL * model_.stepDelayMs, "VM_PLAYING_GREETING", "VM_RECORDING");
    } else {  // hangs up
        if (IsRingingIn(*call)) {
            ChangeStatus(*call, "MISSED", nowMs, out, false);
        } else if (IsOutgoingSetup(*call)) {
            ChangeStatus(*call, "REFUSED", nowMs, out, false);
        } else {
            ChangeStatus(*call, "FINISHED", nowMs, out, false);
        }
    }
    return true;
}

bool Engine::ContactStatus(const std::string& handle, const std::string& status, Sink& out,
                           std::string* error) {
    Contact* c = model_.FindContact(handle);
    if (c == nullptr) {
        *error = "no contact '" + handle + "'";
        return false;
    }
    c->onlineStatus = Upper(status);
    out.Notify("USER " + c->handle + " ONLINESTATUS " + OnlineStatusForClient(c->onlineStatus));
    return true;
}

bool Engine::ContactBuddy(const std::string& handle, int buddyStatus, Sink& out,
                          std::string* error) {
    if (!ValidHandle(handle) || buddyStatus < 0 || buddyStatus > 3) {
        *error = "a buddy change needs a handle and a status 0 to 3";
        return false;
    }
    Contact* c = model_.FindContact(handle);
    if (c == nullptr) {
        Contact added;
        added.handle = handle;
        added.onlineStatus = "OFFLINE";
        model_.contacts.push_back(added);
        c = &model_.contacts.back();
    }
    c->buddyStatus = buddyStatus;
    out.Notify("USER " + c->handle + " BUDDYSTATUS " + std::to_string(buddyStatus));
    return true;
}

void Engine::SetUserStatus(const std::string& status, Sink& out) {
    model_.userStatus = Upper(status);
    out.Notify("USERSTATUS " + OnlineStatusForClient(model_.userStatus));
}

void Engine::SetConnStatus(const std::string& status, Sink& out) {
    model_.connStatus = Upper(status);
    out.Notify("CONNSTATUS " + model_.connStatus);
}

void Engine::SetBalance(long long balance, Sink& out) {
    model_.balance = balance;
    out.Notify("PROFILE PSTN_BALANCE " + std::to_string(balance));
}

void Engine::HistoryChanged(Sink& out) {
    out.Notify("CALLHISTORYCHANGED");
}

}  // namespace skypesim
