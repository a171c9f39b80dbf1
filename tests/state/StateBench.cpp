// Times the contact store at the size of a large contact list: loading 5,000
// contacts, 5,000 status changes, 5,000 name changes and browsing all of it;
// and the call list with 5,000 calls. Prints the figures; fails only when the
// store ends up inconsistent.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "CallStore.h"
#include "UserStore.h"

namespace {

class CountingSender : public I_SkypeCommandSender {
public:
    HsdStatus SendSkypeCommand(unsigned char, const char*, int) override {
        ++sent;
        return HSD_OK;
    }
    int sent = 0;
};

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool Consistent(UserStore& store) {
    std::vector<std::uint32_t> order;
    const auto users = store.SnapshotUsers(&order);
    std::sort(order.begin(), order.end());
    for (std::size_t i = 0; i < users.size(); ++i) {
        if (users[i].position != i || i >= order.size() || order[i] != i) {
            return false;
        }
    }
    return order.size() == users.size();
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 5000;
    std::mt19937 random(5000);
    std::vector<std::string> handles;
    for (int i = 0; i < n; ++i) {
        handles.push_back("contact." + std::to_string(random() % 1000000) + "." +
                          std::to_string(i));
    }
    std::string answer = "USERS";
    for (const auto& handle : handles) {
        answer += (answer.size() == 5 ? " " : ", ") + handle;
    }

    UserStore users;
    CountingSender skype;
    users.SetSkypeCommandSender(&skype);

    auto start = Clock::now();
    users.LoadUserList(answer.c_str());
    const double load = MillisecondsSince(start);

    // About a third of the contacts come online, then some of them go again.
    start = Clock::now();
    for (int i = 0; i < n; ++i) {
        const auto& handle = handles[random() % handles.size()];
        users.SetUserStatus(handle.c_str(), i < n * 2 / 3 ? USER_ONLINE : USER_OFFLINE);
    }
    const double status = MillisecondsSince(start);

    start = Clock::now();
    for (int i = 0; i < n; ++i) {
        std::string name;
        for (int c = 0; c < 8; ++c) {
            name += static_cast<char>('a' + random() % 26);
        }
        name += " Surname";
        users.SetUserDisplayName(handles[static_cast<std::size_t>(i)].c_str(), name.c_str(),
                                 static_cast<int>(name.size()));
    }
    const double names = MillisecondsSince(start);

    // Every contact, then the online ones, reading each handle as the LCD does.
    start = Clock::now();
    int shown = 0;
    int online = 0;
    for (int showAll : {1, 0}) {
        users.SetShowAllUsers(showAll);
        users.ResetUserBrowse();
        HsdStatus result = users.BrowseUsers(0, 0);
        const char* previous = nullptr;
        std::string last;
        while (result == HSD_OK) {
            char ch = 0;
            std::string text;
            while (users.ReadShownUserHandleChar(&ch) == HSD_OK) {
                text += ch;
            }
            if (text == last) {
                break;  // the end: the same contact again
            }
            last = text;
            (showAll != 0 ? shown : online) += 1;
            users.GetShownUserHandle(&previous);
            result = users.BrowseUsers(0, 1);
        }
    }
    const double browse = MillisecondsSince(start);

    CallStore calls;
    start = Clock::now();
    for (int i = 1; i <= n; ++i) {
        calls.AddCall(i, 0);
        calls.SetCallType(i, i % 4);
        calls.SetCallStatus(i, i % 3 == 0 ? CALLSTATUS_MISSED : CALLSTATUS_FINISHED);
    }
    const double callLoad = MillisecondsSince(start);
    start = Clock::now();
    int calledBrowsed = 0;
    for (int mode : {CALLLIST_RECEIVED, CALLLIST_DIALLED, CALLLIST_MISSED}) {
        calls.ResetCallBrowse();
        calls.SetListMode(mode);
        int id = 0;
        int previous = -1;
        HsdStatus result = calls.BrowseCalls(0, 0, &id);
        while (result == HSD_OK && id != previous) {
            ++calledBrowsed;
            previous = id;
            calls.RefreshShownCall(id);
            result = calls.BrowseCalls(0, 1, &id);
        }
    }
    const double callBrowse = MillisecondsSince(start);

    std::printf("contacts: %d, display-name requests: %d\n", n, skype.sent);
    std::printf("load list:           %8.2f ms\n", load);
    std::printf("%d status changes: %8.2f ms\n", n, status);
    std::printf("%d name changes:   %8.2f ms\n", n, names);
    std::printf("browse all (%d) and online (%d): %8.2f ms\n", shown, online, browse);
    std::printf(
        "calls: add %d with type and status: %8.2f ms, browse %d in three lists: %8.2f ms\n", n,
        callLoad, calledBrowsed, callBrowse);

    const bool ok = Consistent(users) && skype.sent == n && shown == n && calledBrowsed == n;
    if (!ok) {
        std::printf("FAILED: the stores are not as expected\n");
        return 1;
    }
    return 0;
}
