#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "UserStore.h"

namespace {

class CommandRecorder : public I_SkypeCommandSender {
public:
    HsdStatus SendSkypeCommand(unsigned char code, const char* userHandle, int callId) override {
        sent.emplace_back(code, userHandle != nullptr ? userHandle : "(null)", callId);
        return HSD_OK;
    }
    std::vector<std::tuple<int, std::string, int>> sent;
};

struct Contact {
    const char* handle;
    const char* name;
    int status;
};

// Handles in display order.
std::vector<std::string> Shown(UserStore& store) {
    const auto users = store.SnapshotUsers();
    std::vector<std::string> handles;
    for (std::uint32_t position : store.SnapshotOrder()) {
        handles.push_back(position < users.size() ? users[position].handle : "?");
    }
    return handles;
}

// Every record's position is its index, and the order names each position once.
void ExpectConsistent(UserStore& store) {
    const auto users = store.SnapshotUsers();
    for (std::size_t i = 0; i < users.size(); ++i) {
        EXPECT_EQ(users[i].position, i);
    }
    auto order = store.SnapshotOrder();
    std::sort(order.begin(), order.end());
    ASSERT_EQ(order.size(), users.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(order[i], i);
    }
}

// Builds a display order that reads as given. Names are set from the last
// contact up (each then compares only with empty names above it) and statuses
// from the top down; the set-up is checked, since the moves it relies on are
// what these tests are about.
void Build(UserStore& store, const std::vector<Contact>& contacts) {
    std::vector<std::string> expected;
    for (const Contact& c : contacts) {
        store.AddUserIfAbsent(c.handle, USER_OFFLINE);
        expected.push_back(c.handle);
    }
    for (auto it = contacts.rbegin(); it != contacts.rend(); ++it) {
        store.SetUserDisplayName(it->handle, it->name, static_cast<int>(std::strlen(it->name)));
    }
    for (const Contact& c : contacts) {
        store.SetUserStatus(c.handle, c.status);
    }
    ASSERT_EQ(Shown(store), expected) << "set-up";
}

std::string ShownHandle(UserStore& store) {
    const char* handle = nullptr;
    EXPECT_EQ(store.GetShownUserHandle(&handle), HSD_OK);
    return handle != nullptr ? handle : "(null)";
}

template <typename Reader>
std::string ReadUntilFailure(Reader read) {
    std::string text;
    char ch = 0;
    while (read(&ch) == HSD_OK && text.size() < 1000) {
        text += ch;
    }
    return text;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(ContactList, LoadingAddsNewContactsInOrderAndAsksSkypeForEachNewName) {
    UserStore store;
    CommandRecorder skype;
    store.SetSkypeCommandSender(&skype);

    EXPECT_EQ(store.LoadUserList("USERS alice, bob"), HSD_OK);
    EXPECT_EQ(Shown(store), (Names{"alice", "bob"}));
    for (const UserRecord& user : store.SnapshotUsers()) {
        EXPECT_EQ(user.onlineStatus, USER_OFFLINE);
    }
    ASSERT_EQ(skype.sent.size(), 2u);
    EXPECT_EQ(skype.sent[0], std::make_tuple(15, std::string("alice"), 0));
    EXPECT_EQ(skype.sent[1], std::make_tuple(15, std::string("bob"), 0));

    store.LoadUserList("USERS alice, bob");
    EXPECT_EQ(skype.sent.size(), 2u);
    int count = 0;
    store.GetUserCount(&count);
    EXPECT_EQ(count, 2);

    // Runs of separators, a leading separator, and handles that differ only in case.
    store.LoadUserList(" USERS,, BOB ,carol,dave  ");
    EXPECT_EQ(Shown(store), (Names{"alice", "bob", "carol", "dave"}));
    ASSERT_EQ(skype.sent.size(), 4u);
    EXPECT_EQ(std::get<1>(skype.sent[3]), "dave");

    store.LoadUserList("USERS");
    store.LoadUserList(nullptr);
    store.SetSkypeCommandSender(nullptr);
    store.LoadUserList("USERS erin");
    EXPECT_EQ(Shown(store).back(), "erin");
    EXPECT_EQ(skype.sent.size(), 4u);
    ExpectConsistent(store);
}

TEST(ContactList, AddUserIfAbsentReportsAnAdditionWithFailure) {
    UserStore store;
    EXPECT_EQ(store.AddUserIfAbsent("Alice", USER_OFFLINE), E_FAIL);
    EXPECT_EQ(store.AddUserIfAbsent("aLICE", USER_ONLINE), HSD_OK);
    EXPECT_EQ(store.AddUserIfAbsent(nullptr, USER_OFFLINE), HSD_OK);
    EXPECT_EQ(store.AddUserIfAbsent("", USER_OFFLINE), HSD_OK);
    const auto users = store.SnapshotUsers();
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].handle, "Alice");
    EXPECT_EQ(users[0].onlineStatus, USER_OFFLINE);
    EXPECT_EQ(store.SetUserStatus("ALICE", USER_ONLINE), HSD_OK);
    EXPECT_EQ(store.SetUserStatus("nobody", USER_ONLINE), E_FAIL);
    EXPECT_EQ(store.SetUserDisplayName("nobody", "N", 1), E_FAIL);
    EXPECT_EQ(store.SnapshotUsers()[0].onlineStatus, USER_ONLINE);
}

TEST(ContactOrder, ComingOnlineClimbsPastOfflineAndNotSmallerOnlineNames) {
    UserStore store;
    Build(store, {{"alice", "ALICE", USER_ONLINE},
                  {"carol", "CAROL", USER_OFFLINE},
                  {"bob", "BOB", USER_OFFLINE}});
    store.SetUserStatus("bob", USER_ONLINE);
    EXPECT_EQ(Shown(store), (Names{"alice", "bob", "carol"}));

    // An equal online name does not stop the climb.
    UserStore equal;
    Build(equal,
          {{"x", "AMY", USER_ONLINE}, {"y", "ZED", USER_OFFLINE}, {"p", "amy", USER_OFFLINE}});
    equal.SetUserStatus("p", USER_ONLINE);
    EXPECT_EQ(Shown(equal), (Names{"p", "x", "y"}));

    // The same status again moves nothing.
    equal.SetUserStatus("y", USER_OFFLINE);
    EXPECT_EQ(Shown(equal), (Names{"p", "x", "y"}));
}

TEST(ContactOrder, GoingOfflineSinksPastOnlineAndSmallerOfflineNames) {
    UserStore store;
    Build(store, {{"bob", "BOB", USER_ONLINE},
                  {"alice", "ALICE", USER_OFFLINE},
                  {"dave", "DAVE", USER_OFFLINE}});
    store.SetUserStatus("bob", USER_OFFLINE);
    EXPECT_EQ(Shown(store), (Names{"alice", "bob", "dave"}));

    // It stops above the first offline contact with an equal name.
    UserStore equal;
    Build(equal, {{"p", "BOB", USER_ONLINE},
                  {"q", "CAT", USER_ONLINE},
                  {"r", "AAA", USER_OFFLINE},
                  {"s", "BOB", USER_OFFLINE},
                  {"t", "ALF", USER_OFFLINE}});
    equal.SetUserStatus("p", USER_OFFLINE);
    EXPECT_EQ(Shown(equal), (Names{"q", "r", "p", "s", "t"}));

    // Down to the end when nothing stops it.
    UserStore last;
    Build(last, {{"z", "ANN", USER_ONLINE}, {"a", "ZED", USER_ONLINE}});
    last.SetUserStatus("z", USER_OFFLINE);
    EXPECT_EQ(Shown(last), (Names{"a", "z"}));
    ExpectConsistent(last);
}

TEST(ContactOrder, ANameChangeOnlyMovesTowardsTheFrontPastGreaterNames) {
    // An equal name above keeps the contact below it.
    UserStore store;
    Build(store, {{"a", "ANN", USER_OFFLINE}, {"b", "", USER_OFFLINE}});
    store.SetUserDisplayName("b", "ann", 3);
    EXPECT_EQ(Shown(store), (Names{"a", "b"}));

    // Status plays no part: an offline contact can pass an online one.
    UserStore mixed;
    Build(mixed, {{"a", "ZOE", USER_ONLINE}, {"b", "", USER_OFFLINE}});
    mixed.SetUserDisplayName("b", "BEN", 3);
    EXPECT_EQ(Shown(mixed), (Names{"b", "a"}));

    // Equal names are passed over without being counted.
    UserStore skipped;
    Build(skipped,
          {{"x", "CAT", USER_OFFLINE}, {"y", "BEN", USER_OFFLINE}, {"p", "", USER_OFFLINE}});
    skipped.SetUserDisplayName("p", "BEN", 3);
    EXPECT_EQ(Shown(skipped), (Names{"x", "p", "y"}));

    // A greater name never moves it down.
    UserStore down;
    Build(down, {{"a", "AAA", USER_OFFLINE}, {"b", "BBB", USER_OFFLINE}});
    down.SetUserDisplayName("a", "ZZZ", 3);
    EXPECT_EQ(Shown(down), (Names{"a", "b"}));

    // Bytes above 0x7F sort after ASCII letters; a proper prefix sorts first.
    UserStore bytes;
    Build(bytes, {{"u", "\xC3\x89mile", USER_OFFLINE}, {"v", "EMIL", USER_OFFLINE}});
    EXPECT_EQ(bytes.ReorderForName(1), HSD_OK);
    EXPECT_EQ(Shown(bytes), (Names{"v", "u"}));
    bytes.SetUserDisplayName("u", "emi", 3);
    EXPECT_EQ(Shown(bytes), (Names{"u", "v"}));

    EXPECT_EQ(bytes.ReorderForName(7), E_FAIL);
    EXPECT_EQ(bytes.ReorderForStatus(7, USER_ONLINE), E_FAIL);
}

TEST(ContactList, RemovalRenumbersPositionsAndKeepsTheOrder) {
    UserStore store;
    store.LoadUserList("USERS a b c");
    store.RemoveUser("A");
    EXPECT_EQ(Shown(store), (Names{"b", "c"}));
    ExpectConsistent(store);

    UserStore shuffled;
    Build(shuffled, {{"d", "DAN", USER_ONLINE},
                     {"a", "AMY", USER_OFFLINE},
                     {"c", "CID", USER_OFFLINE},
                     {"b", "BEA", USER_OFFLINE}});
    shuffled.SetUserStatus("b", USER_ONLINE);  // climbs to the top: b d a c
    const Names before = Shown(shuffled);
    shuffled.RemoveUser("a");
    Names expected = before;
    expected.erase(std::find(expected.begin(), expected.end(), "a"));
    EXPECT_EQ(Shown(shuffled), expected);
    ExpectConsistent(shuffled);

    shuffled.RemoveUser("nobody");
    shuffled.RemoveUser(nullptr);
    EXPECT_EQ(Shown(shuffled), expected);

    // Later changes still address the right contacts.
    shuffled.SetUserStatus("c", USER_ONLINE);
    shuffled.SetUserDisplayName("c", "AAA", 3);
    EXPECT_EQ(Shown(shuffled).front(), "c");
    ExpectConsistent(shuffled);

    shuffled.ClearUsers();
    EXPECT_TRUE(Shown(shuffled).empty());
    EXPECT_EQ(shuffled.AddUserIfAbsent("a", 0), E_FAIL);
}

TEST(ContactBrowse, ShowingAllStaysOnTheFirstAndLastContactAtTheEnds) {
    UserStore store;
    EXPECT_EQ(store.BrowseUsers(0, 0), E_FAIL);  // no contacts
    Build(store, {{"a", "A", USER_ONLINE}, {"b", "B", USER_ONLINE}, {"c", "C", USER_OFFLINE}});
    ASSERT_EQ(Shown(store), (Names{"a", "b", "c"}));
    store.SetShowAllUsers(1);
    EXPECT_EQ(store.BrowseUsers(0, 0), HSD_OK);
    EXPECT_EQ(ShownHandle(store), "a");
    EXPECT_EQ(store.BrowseUsers(1, 1), HSD_OK);
    EXPECT_EQ(ShownHandle(store), "a");
    EXPECT_EQ(store.BrowseUsers(0, 1), HSD_OK);
    EXPECT_EQ(ShownHandle(store), "b");
    int status = -1;
    store.GetShownUserStatus(&status);
    EXPECT_EQ(status, USER_ONLINE);
    store.BrowseUsers(0, 1);
    EXPECT_EQ(store.BrowseUsers(0, 1), HSD_OK);
    EXPECT_EQ(ShownHandle(store), "c");
    char name[kTextBufferSize];
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(store.GetShownUserDisplayName(name), HSD_OK);
    EXPECT_STREQ(name, "C");
}

TEST(ContactBrowse, OnlineOnlySkipsOfflineContactsAndFailsWhenNobodyIsOnline) {
    UserStore store;
    store.LoadUserList("USERS a c");
    store.SetUserDisplayName("c", "CY", 2);
    store.SetUserDisplayName("a", "AL", 2);
    store.SetUserStatus("a", USER_ONLINE);
    store.SetUserStatus("c", USER_ONLINE);
    store.LoadUserList("USERS b");
    store.SetUserDisplayName("b", "BO", 2);  // an offline name between the two
    ASSERT_EQ(Shown(store), (Names{"a", "b", "c"}));

    EXPECT_EQ(store.BrowseUsers(0, 0), HSD_OK);
    EXPECT_EQ(ShownHandle(store), "a");
    EXPECT_EQ(store.BrowseUsers(0, 1), HSD_OK);
    EXPECT_EQ(ShownHandle(store), "c");
    EXPECT_EQ(store.BrowseUsers(0, 1), HSD_OK);  // at the end: the same contact
    EXPECT_EQ(ShownHandle(store), "c");
    EXPECT_EQ(store.BrowseUsers(1, 1), HSD_OK);
    EXPECT_EQ(ShownHandle(store), "a");
    EXPECT_EQ(store.BrowseUsers(1, 1), E_FAIL);  // nothing before the first
    EXPECT_EQ(ShownHandle(store), "a");

    // Everybody offline: fails at once, the shown contact stays, and the
    // cursor goes back to where the last successful browse put it.
    store.SetShowAllUsers(1);
    store.BrowseUsers(0, 1);
    store.BrowseUsers(0, 1);  // c, index 2
    store.SetShowAllUsers(0);
    store.SetUserStatus("a", USER_OFFLINE);
    store.SetUserStatus("c", USER_OFFLINE);
    store.ResetUserBrowse();
    EXPECT_EQ(store.BrowseUsers(0, 0), E_FAIL);
    EXPECT_EQ(ShownHandle(store), "c");
    store.SetShowAllUsers(1);
    store.BrowseUsers(0, 0);
    EXPECT_EQ(ShownHandle(store), Shown(store)[2]);

    UserStore fresh;
    fresh.LoadUserList("USERS p q");
    EXPECT_EQ(fresh.BrowseUsers(0, 0), E_FAIL);
    EXPECT_EQ(ShownHandle(fresh), "");
    fresh.SetShowAllUsers(1);
    fresh.BrowseUsers(0, 0);
    EXPECT_EQ(ShownHandle(fresh), "p");
}

TEST(ContactBrowse, ACursorBeyondAShrunkenOrderNeverReadsPastItsEnd) {
    for (int direction : {0, 1}) {
        for (int showAll : {0, 1}) {
            UserStore store;
            for (const char* h : {"a", "b", "c", "d", "e", "f"}) {
                store.AddUserIfAbsent(h, USER_ONLINE);
            }
            store.SetShowAllUsers(showAll);
            store.BrowseUsers(0, 0);
            for (int step = 0; step < 5; ++step) {
                store.BrowseUsers(0, 1);
            }
            ASSERT_EQ(ShownHandle(store), "f");
            store.RemoveUser("c");
            store.RemoveUser("d");
            store.RemoveUser("e");
            store.RemoveUser("f");
            EXPECT_EQ(store.BrowseUsers(direction, 1), HSD_OK) << direction << showAll;
            EXPECT_EQ(ShownHandle(store), "b") << direction << showAll;
        }
    }
}

TEST(ContactTexts, ReadersStartOverAndTheShownHandleOutlivesOtherThreadsChanges) {
    UserStore store;
    char ch = 0;
    EXPECT_EQ(store.ReadCallerHandleChar(&ch), E_FAIL);
    store.SetCallerHandleText("+441234");
    auto caller = [&](char* c) { return store.ReadCallerHandleChar(c); };
    EXPECT_EQ(ReadUntilFailure(caller), "+441234");
    EXPECT_EQ(ReadUntilFailure(caller), "+441234");
    store.ReadCallerHandleChar(&ch);
    store.SetCallerHandleText("bob");
    EXPECT_EQ(ReadUntilFailure(caller), "bob");

    EXPECT_EQ(store.ReadShownUserHandleChar(&ch), E_FAIL);
    store.LoadUserList("USERS alice bob");
    store.SetShowAllUsers(1);
    store.BrowseUsers(0, 0);
    auto shown = [&](char* c) { return store.ReadShownUserHandleChar(c); };
    EXPECT_EQ(ReadUntilFailure(shown), "alice");
    EXPECT_EQ(ReadUntilFailure(shown), "alice");

    // No name yet: failure, with the caller's buffer cleared.
    char name[kTextBufferSize];
    std::memset(name, 'x', sizeof(name));
    EXPECT_EQ(store.GetShownUserDisplayName(name), E_FAIL);
    EXPECT_EQ(std::count(name, name + kTextBufferSize, '\0'), kTextBufferSize);

    const char* handle = nullptr;
    ASSERT_EQ(store.GetShownUserHandle(&handle), HSD_OK);
    std::thread other([&] {
        store.BrowseUsers(0, 1);
        const char* mine = nullptr;
        store.GetShownUserHandle(&mine);
        EXPECT_STREQ(mine, "bob");
        store.ClearUsers();
        store.LoadUserList("USERS zed");
    });
    other.join();
    EXPECT_STREQ(handle, "alice");

    // An over-long display name is cut to what a reader's buffer holds.
    const std::string longName(300, 'n');
    store.SetUserDisplayName("zed", longName.c_str(), static_cast<int>(longName.size()));
    store.ResetUserBrowse();
    store.BrowseUsers(0, 0);
    std::vector<char> buffer(kTextBufferSize, 'x');
    EXPECT_EQ(store.GetShownUserDisplayName(buffer.data()), HSD_OK);
    EXPECT_EQ(std::string(buffer.data()), std::string(254, 'n'));

    int balance = 0;
    store.SetBalance(1234);
    store.GetBalance(&balance);
    EXPECT_EQ(balance, 1234);
}
