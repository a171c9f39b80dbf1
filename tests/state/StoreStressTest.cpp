// Three threads use both stores at once, as the notification thread, a
// handset thread and the main window do; afterwards (and now and then during
// the run) the stores must still be consistent. Run it under ThreadSanitizer
// too: a data race fails it there.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CallStore.h"
#include "UserStore.h"

namespace {

class CountingSender : public I_SkypeCommandSender {
public:
    HsdStatus SendSkypeCommand(unsigned char, const char* userHandle, int) override {
        if (userHandle != nullptr && userHandle[0] != '\0') {
            sent.fetch_add(1, std::memory_order_relaxed);
        }
        return HSD_OK;
    }
    std::atomic<int> sent{0};
};

std::chrono::milliseconds StressTime() {
    const char* value = std::getenv("VOXLINK_STRESS_MS");
    return std::chrono::milliseconds(value != nullptr ? std::atoi(value) : 2000);
}

const std::vector<std::string>& Handles() {
    static const std::vector<std::string> handles = [] {
        std::vector<std::string> list;
        for (int i = 0; i < 40; ++i) {
            list.push_back("user" + std::to_string(i));
        }
        return list;
    }();
    return handles;
}

// Empty when consistent, else what is wrong.
std::string CheckCalls(CallStore& calls) {
    std::set<int> ids;
    for (const CallRecord& record : calls.SnapshotCalls()) {
        if (!ids.insert(record.id).second) {
            return "call id listed twice: " + std::to_string(record.id);
        }
    }
    return {};
}

std::string CheckUsers(UserStore& users) {
    std::vector<std::uint32_t> order;
    const auto records = users.SnapshotUsers(&order);
    if (order.size() != records.size()) {
        return "order and list differ in length";
    }
    std::vector<bool> seen(records.size(), false);
    for (std::uint32_t position : order) {
        if (position >= records.size() || seen[position]) {
            return "order is not a permutation of the positions";
        }
        seen[position] = true;
    }
    std::set<std::string> handles;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].position != i) {
            return "a position differs from its index";
        }
        if (!handles.insert(records[i].handle).second) {
            return "handle listed twice: " + records[i].handle;
        }
    }
    return {};
}

}  // namespace

TEST(StoreStress, NotificationsBrowsingAndResetsInParallelKeepTheStoresConsistent) {
    CallStore calls;
    UserStore users;
    CountingSender skype;
    users.SetSkypeCommandSender(&skype);

    std::atomic<bool> stop{false};
    std::atomic<long> notifications{0}, browses{0}, resets{0};
    std::string browserProblem;

    std::thread notifier([&] {
        std::mt19937 random(1);
        const auto& handles = Handles();
        int nextCall = 1;
        while (!stop.load()) {
            const int id = nextCall++ % 500 + 1;
            // A live call from ringing to its commit.
            calls.SetCurrentCallId(id);
            calls.SetCurrentCallStatus(CALLSTATUS_RINGING_IN);
            calls.SetCurrentCallType(static_cast<int>(random() % 4));
            const std::string& peer = handles[random() % handles.size()];
            calls.SetCurrentCallHandle(peer.c_str(), static_cast<int>(peer.size()));
            calls.SetCurrentCallDisplayName(peer.c_str(), static_cast<int>(peer.size()));
            users.SetCallerHandleText(peer.c_str());
            calls.SetCurrentCallDuration(static_cast<int>(random() % 5000));
            calls.SetCurrentCallTimestamp(1796565959 + id);
            calls.SetCurrentCallStatus(random() % 3 == 0 ? CALLSTATUS_MISSED : CALLSTATUS_FINISHED);
            calls.CommitCurrentCall();
            calls.ResetCurrentCall();
            if (random() % 4 == 0) {
                calls.SetSecondCallId(id + 1000);
                calls.SetSecondCallType(CALLTYPE_INCOMING_P2P);
                calls.CommitSecondCall();
                calls.PromoteSecondCall();
                calls.ResetSecondCall();
            }
            // History entries and their details.
            const int old = static_cast<int>(random() % 2000) + 2000;
            calls.AddCall(old, 0);
            calls.SetCallType(old, static_cast<int>(random() % 4));
            calls.SetCallStatus(old, static_cast<int>(random() % 6));
            calls.SetCallSeen(old, static_cast<int>(random() % 2));
            calls.SetCallHandle(old, peer.c_str(), static_cast<int>(peer.size()));
            calls.SetCallTimestamp(old, 1796565959 - old);
            calls.AddCall(old, 1);
            calls.RefreshShownCall(old);

            // Contacts: list answers, names, status changes and removals.
            std::string list = "USERS";
            for (int i = 0; i < 5; ++i) {
                list += (i % 2 == 0 ? ", " : " ") + handles[random() % handles.size()];
            }
            users.LoadUserList(list.c_str());
            const std::string& contact = handles[random() % handles.size()];
            users.SetUserStatus(contact.c_str(), random() % 2 == 0 ? USER_ONLINE : USER_OFFLINE);
            const std::string name(1 + random() % 8, static_cast<char>('A' + random() % 26));
            users.SetUserDisplayName(contact.c_str(), name.c_str(), static_cast<int>(name.size()));
            if (random() % 8 == 0) {
                users.RemoveUser(handles[random() % handles.size()].c_str());
            }
            notifications.fetch_add(1);
        }
    });

    std::thread browser([&] {
        std::mt19937 random(2);
        long step = 0;
        while (!stop.load()) {
            calls.SetListMode(static_cast<int>(random() % 3));
            int id = 0;
            if (calls.BrowseCalls(static_cast<int>(random() % 2), static_cast<int>(random() % 2),
                                  &id) == HSD_OK) {
                int loaded = 0;
                calls.GetCallDetailsLoaded(id, &loaded);
                if (loaded != 0) {
                    calls.RefreshShownCall(id);
                } else {
                    calls.ClearShownCall();
                }
            }
            char ch = 0;
            for (int i = 0; i < 20; ++i) {
                calls.ReadShownHandleChar(&ch);
                calls.ReadShownTimeChar(&ch);
                calls.ReadShownDurationChar(&ch);
                users.ReadShownUserHandleChar(&ch);
                users.ReadCallerHandleChar(&ch);
            }
            std::vector<char> buffer(kTextBufferSize, 0);
            calls.GetShownHandle(buffer.data());
            std::fill(buffer.begin(), buffer.end(), 0);
            calls.GetShownDisplayName(buffer.data());
            int missed = 0;
            calls.CountMissedCalls(&missed);

            users.BrowseUsers(static_cast<int>(random() % 2), static_cast<int>(random() % 2));
            const char* handle = nullptr;
            users.GetShownUserHandle(&handle);
            // The text must stay readable while the other threads carry on.
            const std::size_t length = std::strlen(handle);
            if (length > 0 && std::strncmp(handle, "user", 4) != 0) {
                browserProblem = "shown handle is garbage";
            }
            users.GetShownUserDisplayName(buffer.data());

            if (++step % 64 == 0 && browserProblem.empty()) {
                browserProblem = CheckCalls(calls) + CheckUsers(users);
            }
            browses.fetch_add(1);
        }
    });

    std::thread resetter([&] {
        std::mt19937 random(3);
        while (!stop.load()) {
            calls.ResetCallBrowse();
            users.ResetUserBrowse();
            users.SetShowAllUsers(static_cast<int>(random() % 2));
            if (random() % 16 == 0) {
                calls.ClearCalls();
            }
            if (random() % 32 == 0) {
                users.ClearUsers();
            }
            calls.ResetCurrentCall();
            calls.ResetSecondCall();
            resets.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    std::this_thread::sleep_for(StressTime());
    stop.store(true);
    notifier.join();
    browser.join();
    resetter.join();

    EXPECT_EQ(browserProblem, "");
    EXPECT_EQ(CheckCalls(calls), "");
    EXPECT_EQ(CheckUsers(users), "");
    EXPECT_GT(notifications.load(), 10);
    EXPECT_GT(browses.load(), 10);
    EXPECT_GT(resets.load(), 10);
    EXPECT_GT(skype.sent.load(), 0);
    std::printf(
        "stress: %ld notification rounds, %ld browse rounds, %ld resets, %d name requests\n",
        notifications.load(), browses.load(), resets.load(), skype.sent.load());
}
