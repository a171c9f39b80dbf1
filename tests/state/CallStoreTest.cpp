#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "CallStore.h"

namespace {

std::vector<int> Ids(CallStore& store) {
    std::vector<int> ids;
    for (const CallRecord& record : store.SnapshotCalls()) {
        ids.push_back(record.id);
    }
    return ids;
}

// Reads a text one character per call until the reader fails.
template <typename Reader>
std::string ReadUntilFailure(Reader read) {
    std::string text;
    char ch = 0;
    while (read(&ch) == HSD_OK && text.size() < 1000) {
        text += ch;
    }
    return text;
}

std::string ReadTime(CallStore& store) {
    return ReadUntilFailure([&](char* ch) { return store.ReadShownTimeChar(ch); });
}
std::string ReadDuration(CallStore& store) {
    return ReadUntilFailure([&](char* ch) { return store.ReadShownDurationChar(ch); });
}
std::string ReadHandle(CallStore& store) {
    return ReadUntilFailure([&](char* ch) { return store.ReadShownHandleChar(ch); });
}

void SetTimeZone(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone);
    _tzset();
#else
    setenv("TZ", zone, 1);
    tzset();
#endif
}

// Adds a listed call with its type, status and seen flag.
void AddListed(CallStore& store, int id, int type, int status, int seen = 1) {
    store.AddCall(id, 0);
    store.SetCallType(id, type);
    store.SetCallStatus(id, status);
    store.SetCallSeen(id, seen);
}

int Browse(CallStore& store, int direction, int advance, HsdStatus expected = HSD_OK) {
    int id = -99;
    EXPECT_EQ(store.BrowseCalls(direction, advance, &id), expected);
    return id;
}

}  // namespace

TEST(CallList, AddCallPutsLiveCallsInFrontAndHistoryAtTheBackAndReportsNewIdsWithZero) {
    CallStore store;
    EXPECT_EQ(store.AddCall(7, 0), HSD_OK);
    EXPECT_EQ(store.AddCall(8, 1), HSD_OK);
    EXPECT_EQ(store.AddCall(9, 0), HSD_OK);
    EXPECT_EQ(Ids(store), (std::vector<int>{8, 7, 9}));

    // A listed id stays where it is and only takes the new detailsLoaded.
    store.SetCallStatus(7, CALLSTATUS_FINISHED);
    EXPECT_EQ(store.AddCall(7, 1), E_FAIL);
    EXPECT_EQ(store.AddCall(8, 0), E_FAIL);
    EXPECT_EQ(Ids(store), (std::vector<int>{8, 7, 9}));
    const auto calls = store.SnapshotCalls();
    EXPECT_EQ(calls[1].detailsLoaded, 1);
    EXPECT_EQ(calls[1].status, CALLSTATUS_FINISHED);
    EXPECT_EQ(calls[0].detailsLoaded, 0);

    int count = 0;
    EXPECT_EQ(store.GetCallCount(&count), HSD_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(store.ClearCalls(), HSD_OK);
    EXPECT_EQ(store.GetCallCount(&count), HSD_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(store.AddCall(7, 0), HSD_OK);  // an id may come back after a clear
}

TEST(CallList, OperationsOnAnUnlistedIdFailAndChangeNothing) {
    CallStore store;
    store.AddCall(7, 1);
    const auto before = store.SnapshotCalls();

    EXPECT_EQ(store.SetCallStatus(5, CALLSTATUS_MISSED), E_FAIL);
    EXPECT_EQ(store.SetCallType(5, 0), E_FAIL);
    EXPECT_EQ(store.SetCallSeen(5, 1), E_FAIL);
    EXPECT_EQ(store.SetCallDuration(5, 10), E_FAIL);
    EXPECT_EQ(store.SetCallTimestamp(5, 10), E_FAIL);
    EXPECT_EQ(store.SetCallDetailsLoaded(5, 0), E_FAIL);
    EXPECT_EQ(store.SetCallHandle(5, "x", 1), E_FAIL);
    EXPECT_EQ(store.SetCallDisplayName(5, "x", 1), E_FAIL);
    EXPECT_EQ(store.FindCall(5), E_FAIL);
    EXPECT_EQ(store.FindCall(7), HSD_OK);

    int loaded = -1;
    EXPECT_EQ(store.GetCallDetailsLoaded(5, &loaded), HSD_OK);
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(store.GetCallDetailsLoaded(7, &loaded), HSD_OK);
    EXPECT_EQ(loaded, 1);

    const auto after = store.SnapshotCalls();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].status, before[0].status);
    EXPECT_TRUE(after[0].handle.Empty());
}

TEST(CallRecords, CommitCurrentCallCreatesAFrontEntryOrUpdatesTheListedOneInPlace) {
    CallStore store;
    store.AddCall(1, 0);
    store.AddCall(2, 0);

    store.SetCurrentCallId(42);
    store.SetCurrentCallType(CALLTYPE_INCOMING_PSTN);
    store.SetCurrentCallStatus(CALLSTATUS_FINISHED);
    store.SetCurrentCallSeen(1);
    store.SetCurrentCallHandle("+4912345", 8);
    store.SetCurrentCallDisplayName("Anna", 4);
    store.SetCurrentCallTimestamp(1000);
    store.SetCurrentCallDuration(61);
    EXPECT_EQ(store.CommitCurrentCall(), HSD_OK);
    EXPECT_EQ(Ids(store), (std::vector<int>{42, 1, 2}));
    CallRecord entry = store.SnapshotCalls()[0];
    EXPECT_EQ(entry.type, CALLTYPE_INCOMING_PSTN);
    EXPECT_EQ(entry.status, CALLSTATUS_FINISHED);
    EXPECT_EQ(entry.seen, 1);
    EXPECT_EQ(entry.detailsLoaded, 1);
    EXPECT_EQ(entry.handle.Bytes(), "+4912345");
    EXPECT_EQ(entry.displayName.Bytes(), "Anna");
    EXPECT_EQ(entry.timestamp, 1000);
    EXPECT_EQ(entry.duration, 61);

    // A listed id keeps its place and takes the current record's values.
    store.SetCurrentCallId(2);
    store.SetCurrentCallStatus(CALLSTATUS_MISSED);
    store.SetCurrentCallHandle("bob", 3);
    store.SetCurrentCallDuration(5);
    EXPECT_EQ(store.CommitCurrentCall(), HSD_OK);
    EXPECT_EQ(Ids(store), (std::vector<int>{42, 1, 2}));
    entry = store.SnapshotCalls()[2];
    EXPECT_EQ(entry.status, CALLSTATUS_MISSED);
    EXPECT_EQ(entry.handle.Bytes(), "bob");
    EXPECT_EQ(entry.duration, 5);
    EXPECT_EQ(entry.detailsLoaded, 1);
}

TEST(CallRecords, CommitSecondCallLeavesTheListedDurationAlone) {
    CallStore store;
    store.AddCall(5, 0);
    store.SetCallDuration(5, 300);
    store.SetSecondCallId(5);
    store.SetSecondCallDuration(7);
    store.SetSecondCallTimestamp(1234);
    store.SetSecondCallDisplayName("Carl", 4);
    EXPECT_EQ(store.CommitSecondCall(), HSD_OK);
    const CallRecord entry = store.SnapshotCalls()[0];
    EXPECT_EQ(entry.duration, 300);
    EXPECT_EQ(entry.timestamp, 1234);
    EXPECT_EQ(entry.displayName.Bytes(), "Carl");
    EXPECT_EQ(entry.detailsLoaded, 1);

    // A new second call enters at the front without a duration.
    store.SetSecondCallId(6);
    store.CommitSecondCall();
    EXPECT_EQ(Ids(store), (std::vector<int>{6, 5}));
    EXPECT_EQ(store.SnapshotCalls()[0].duration, 0);
}

TEST(CallRecords, ResetsKeepWhatTheyMustAndPromotionCarriesTheSecondCallOver) {
    CallStore store;
    store.SetCurrentCallId(3);
    store.SetCurrentCallStatus(CALLSTATUS_INPROGRESS);
    store.SetCurrentCallType(CALLTYPE_OUTGOING_P2P);
    store.SetCurrentCallSeen(0);
    store.SetCurrentCallHandle("h", 1);
    store.SetCurrentCallDisplayName("n", 1);  // also marks the details loaded
    store.SetCurrentCallTimestamp(99);
    store.SetCurrentCallDuration(12);
    EXPECT_EQ(store.ResetCurrentCall(), HSD_OK);
    CallRecord current = store.SnapshotCurrentCall();
    EXPECT_EQ(current.id, 0);
    EXPECT_EQ(current.status, CALLSTATUS_NONE);
    EXPECT_EQ(current.type, CALLTYPE_NONE);
    EXPECT_EQ(current.seen, 1);
    EXPECT_TRUE(current.handle.Empty());
    EXPECT_TRUE(current.displayName.Empty());
    EXPECT_EQ(current.duration, 0);
    EXPECT_EQ(current.timestamp, 0);
    EXPECT_EQ(current.detailsLoaded, 1);

    store.SetSecondCallId(4);
    store.SetSecondCallStatus(CALLSTATUS_RINGING_IN);
    store.SetSecondCallType(CALLTYPE_INCOMING_P2P);
    store.SetSecondCallSeen(0);
    store.SetSecondCallHandle("eve", 3);
    store.SetSecondCallDisplayName("Eve", 3);
    store.SetSecondCallTimestamp(77);
    store.SetSecondCallDuration(8);
    EXPECT_EQ(store.PromoteSecondCall(), HSD_OK);
    current = store.SnapshotCurrentCall();
    EXPECT_EQ(current.id, 4);
    EXPECT_EQ(current.status, CALLSTATUS_RINGING_IN);
    EXPECT_EQ(current.type, CALLTYPE_INCOMING_P2P);
    EXPECT_EQ(current.seen, 0);
    EXPECT_EQ(current.handle.Bytes(), "eve");
    EXPECT_EQ(current.displayName.Bytes(), "Eve");
    EXPECT_EQ(current.timestamp, 77);
    EXPECT_EQ(current.duration, 8);
    int id = 0;
    store.GetSecondCallId(&id);
    EXPECT_EQ(id, 4);  // the second record stays until the caller resets it

    EXPECT_EQ(store.ResetSecondCall(), HSD_OK);
    const CallRecord second = store.SnapshotSecondCall();
    EXPECT_EQ(second.id, 0);
    EXPECT_EQ(second.status, CALLSTATUS_NONE);
    EXPECT_EQ(second.type, CALLTYPE_NONE);
    EXPECT_EQ(second.seen, 1);
    EXPECT_TRUE(second.handle.Empty());
    EXPECT_TRUE(second.displayName.Empty());
    EXPECT_EQ(second.duration, 8);
    EXPECT_EQ(second.timestamp, 77);
    EXPECT_EQ(second.detailsLoaded, 1);
    int status = 0;
    store.GetSecondCallStatus(&status);
    EXPECT_EQ(status, CALLSTATUS_NONE);
}

TEST(CallTexts, OverlongTextsAreCutAndNeverOverflowAReadersBuffer) {
    CallStore store;
    // 253 ASCII bytes and then a three-byte character: only the ASCII part fits.
    std::string name(253, 'a');
    name += "\xE2\x82\xAC";
    name += std::string(100, 'b');
    const std::string handle(400, 'h');
    store.AddCall(1, 1);
    store.SetCallType(1, CALLTYPE_OUTGOING_P2P);
    store.SetCallDisplayName(1, name.c_str(), static_cast<int>(name.size()));
    store.SetCallHandle(1, handle.c_str(), static_cast<int>(handle.size()));
    const CallRecord entry = store.SnapshotCalls()[0];
    EXPECT_EQ(entry.displayName.Bytes(), std::string(253, 'a'));
    EXPECT_EQ(entry.handle.Bytes(), std::string(254, 'h'));

    store.SetListMode(CALLLIST_DIALLED);
    Browse(store, 0, 0);
    store.RefreshShownCall(1);
    // Heap buffers of exactly the system's size, so a write past them is caught.
    std::vector<char> buffer(kTextBufferSize, 0);
    EXPECT_EQ(store.GetShownHandle(buffer.data()), HSD_OK);
    EXPECT_EQ(std::string(buffer.data(), 254), std::string(254, 'h'));
    EXPECT_EQ(buffer[254], '\0');
    std::vector<char> nameBuffer(kTextBufferSize, 0);
    EXPECT_EQ(store.GetShownDisplayName(nameBuffer.data()), HSD_OK);
    EXPECT_EQ(std::string(nameBuffer.data()), std::string(253, 'a'));
    EXPECT_EQ(ReadHandle(store).size(), 254u);

    // Committing a record with full-length texts copies them whole.
    store.SetCurrentCallId(2);
    store.SetCurrentCallHandle(handle.c_str(), static_cast<int>(handle.size()));
    store.CommitCurrentCall();
    EXPECT_EQ(store.SnapshotCalls()[0].handle.Bytes(), std::string(254, 'h'));

    store.SetCallHandle(1, nullptr, 5);
    EXPECT_TRUE(store.SnapshotCalls()[1].handle.Empty());
}

class CallBrowse : public ::testing::Test {
protected:
    // [P dialled, Q received, R missed and unseen]
    void SetUp() override {
        AddListed(store_, kP, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FINISHED);
        AddListed(store_, kQ, CALLTYPE_INCOMING_P2P, CALLSTATUS_FINISHED);
        AddListed(store_, kR, CALLTYPE_INCOMING_PSTN, CALLSTATUS_MISSED, 0);
        store_.ResetCallBrowse();
    }
    static constexpr int kP = 11, kQ = 12, kR = 13;
    CallStore store_;
};

TEST_F(CallBrowse, EachListModeFindsOnlyItsCallsAndMissedCallsCountUntilSeen) {
    store_.SetListMode(CALLLIST_DIALLED);
    EXPECT_EQ(Browse(store_, 0, 0), kP);
    store_.ResetCallBrowse();
    store_.SetListMode(CALLLIST_RECEIVED);
    EXPECT_EQ(Browse(store_, 0, 0), kQ);
    store_.ResetCallBrowse();
    store_.SetListMode(CALLLIST_MISSED);
    EXPECT_EQ(Browse(store_, 0, 0), kR);

    int missed = -1;
    EXPECT_EQ(store_.CountMissedCalls(&missed), HSD_OK);
    EXPECT_EQ(missed, 1);
    store_.SetCallSeen(kR, 1);
    store_.CountMissedCalls(&missed);
    EXPECT_EQ(missed, 0);
}

TEST_F(CallBrowse, CallsOfUnknownTypeMatchNoList) {
    store_.ClearCalls();
    store_.AddCall(1, 0);  // type still -1
    store_.SetCallStatus(1, CALLSTATUS_MISSED);
    store_.SetCallSeen(1, 0);
    for (int mode : {CALLLIST_RECEIVED, CALLLIST_DIALLED, CALLLIST_MISSED}) {
        store_.ResetCallBrowse();
        store_.SetListMode(mode);
        Browse(store_, 0, 0, E_FAIL);
    }
    int missed = -1;
    store_.CountMissedCalls(&missed);
    EXPECT_EQ(missed, 0);
    // Once its type is known, the call shows.
    store_.SetCallType(1, CALLTYPE_INCOMING_P2P);
    store_.ResetCallBrowse();
    EXPECT_EQ(Browse(store_, 0, 0), 1);
}

TEST_F(CallBrowse, AFailedFirstBrowseLeavesNothingToBrowseUntilReset) {
    store_.ClearCalls();
    AddListed(store_, 1, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FINISHED);
    AddListed(store_, 2, CALLTYPE_OUTGOING_PSTN, CALLSTATUS_FINISHED);
    store_.SetListMode(CALLLIST_RECEIVED);
    EXPECT_EQ(store_.HasBrowsePosition(), HSD_OK);
    Browse(store_, 0, 0, E_FAIL);
    EXPECT_EQ(store_.HasBrowsePosition(), E_FAIL);

    // Even a list that now holds a match stays closed until a reset.
    AddListed(store_, 3, CALLTYPE_INCOMING_P2P, CALLSTATUS_FINISHED);
    Browse(store_, 0, 0, E_FAIL);
    Browse(store_, 1, 1, E_FAIL);
    Browse(store_, 0, 1, E_FAIL);
    EXPECT_EQ(store_.HasBrowsePosition(), E_FAIL);
    store_.ResetCallBrowse();
    EXPECT_EQ(store_.HasBrowsePosition(), HSD_OK);
    EXPECT_EQ(Browse(store_, 0, 0), 3);
}

TEST_F(CallBrowse, BrowsingStopsAtBothEndsOnTheLastMatch) {
    // Dialled calls at indexes 0, 2 and 4; received ones between them.
    store_.ClearCalls();
    AddListed(store_, 1, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FINISHED);
    AddListed(store_, 2, CALLTYPE_INCOMING_P2P, CALLSTATUS_FINISHED);
    AddListed(store_, 3, CALLTYPE_OUTGOING_PSTN, CALLSTATUS_FINISHED);
    AddListed(store_, 4, CALLTYPE_INCOMING_P2P, CALLSTATUS_FINISHED);
    AddListed(store_, 5, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FAILED);
    store_.ResetCallBrowse();
    store_.SetListMode(CALLLIST_DIALLED);

    EXPECT_EQ(Browse(store_, 0, 0), 1);
    EXPECT_EQ(Browse(store_, 0, 0), 1);  // without advance: the entry under the cursor
    EXPECT_EQ(Browse(store_, 0, 1), 3);
    EXPECT_EQ(Browse(store_, 0, 1), 5);
    EXPECT_EQ(Browse(store_, 0, 1), 5);  // at the last index, the last entry again
    EXPECT_EQ(Browse(store_, 1, 1), 3);
    EXPECT_EQ(Browse(store_, 1, 0), 1);  // backward moves whatever advance says
    Browse(store_, 1, 1, E_FAIL);        // nothing before index 0
    EXPECT_EQ(store_.HasBrowsePosition(), HSD_OK);
    EXPECT_EQ(Browse(store_, 0, 0), 1);  // back on the last match
    EXPECT_EQ(Browse(store_, 0, 1), 3);

    // Forward past the last dialled call when the last entry is received.
    AddListed(store_, 6, CALLTYPE_INCOMING_P2P, CALLSTATUS_FINISHED);
    EXPECT_EQ(Browse(store_, 0, 1), 5);
    Browse(store_, 0, 1, E_FAIL);
    EXPECT_EQ(Browse(store_, 0, 0), 5);
}

TEST_F(CallBrowse, ACursorBeyondAShrunkenListNeverReadsPastItsEnd) {
    store_.ClearCalls();
    for (int id = 1; id <= 6; ++id) {
        AddListed(store_, id, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FINISHED);
    }
    store_.ResetCallBrowse();
    store_.SetListMode(CALLLIST_DIALLED);
    for (int step = 0; step < 5; ++step) {
        Browse(store_, 0, 1);
    }
    EXPECT_EQ(Browse(store_, 0, 0), 6);

    // A history answer with fewer ids rebuilds the list under the cursor.
    store_.ClearCalls();
    AddListed(store_, 21, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FINISHED);
    AddListed(store_, 22, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FINISHED);
    EXPECT_EQ(Browse(store_, 0, 1), 22);
    EXPECT_EQ(Browse(store_, 1, 1), 21);

    store_.ClearCalls();
    for (int id = 1; id <= 6; ++id) {
        AddListed(store_, id, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FINISHED);
    }
    for (int step = 0; step < 5; ++step) {
        Browse(store_, 0, 1);
    }
    store_.ClearCalls();
    AddListed(store_, 31, CALLTYPE_OUTGOING_P2P, CALLSTATUS_FINISHED);
    EXPECT_EQ(Browse(store_, 1, 1), 31);  // backward lands on the last entry
    store_.ClearCalls();
    Browse(store_, 0, 1, E_FAIL);
}

TEST_F(CallBrowse, TheShownCallLoadsOnlyThroughARefreshOfTheShownId) {
    store_.SetCallHandle(kQ, "quinn", 5);
    store_.SetCallDisplayName(kQ, "Quinn Q", 7);
    store_.SetCallTimestamp(kQ, 1796565959);
    store_.SetCallDuration(kQ, 3725);
    store_.SetListMode(CALLLIST_RECEIVED);
    EXPECT_EQ(Browse(store_, 0, 0), kQ);

    char buffer[kTextBufferSize] = {};
    EXPECT_EQ(store_.GetShownHandle(buffer), E_FAIL);  // a browse loads nothing
    EXPECT_EQ(store_.RefreshShownCall(kP), HSD_OK);    // not the shown one
    EXPECT_EQ(store_.GetShownHandle(buffer), E_FAIL);

    EXPECT_EQ(store_.RefreshShownCall(kQ), HSD_OK);
    EXPECT_EQ(store_.GetShownHandle(buffer), HSD_OK);
    EXPECT_STREQ(buffer, "quinn");
    char name[kTextBufferSize] = {};
    EXPECT_EQ(store_.GetShownDisplayName(name), HSD_OK);
    EXPECT_STREQ(name, "Quinn Q");
    int value = 0;
    store_.GetShownType(&value);
    EXPECT_EQ(value, CALLTYPE_INCOMING_P2P);
    store_.GetShownStatus(&value);
    EXPECT_EQ(value, CALLSTATUS_FINISHED);
    EXPECT_EQ(ReadDuration(store_), "01:02:05");

    // Cleared for loading, it keeps the list's labels and drops its texts.
    store_.SetListMode(CALLLIST_MISSED);
    EXPECT_EQ(store_.ClearShownCall(), HSD_OK);
    char empty[kTextBufferSize] = {};
    EXPECT_EQ(store_.GetShownHandle(empty), E_FAIL);
    EXPECT_EQ(store_.GetShownDisplayName(empty), E_FAIL);
    EXPECT_EQ(ReadTime(store_), "");
    EXPECT_EQ(ReadDuration(store_), "01:02:05");  // the duration text is not cleared
    store_.GetShownType(&value);
    EXPECT_EQ(value, CALLTYPE_INCOMING_P2P);
    store_.GetShownStatus(&value);
    EXPECT_EQ(value, CALLSTATUS_MISSED);
    store_.SetListMode(CALLLIST_DIALLED);
    store_.ClearShownCall();
    store_.GetShownType(&value);
    EXPECT_EQ(value, CALLTYPE_OUTGOING_P2P);

    // A refresh still finds the shown entry by id after a live call pushed it down.
    store_.SetCurrentCallId(99);
    store_.CommitCurrentCall();
    store_.SetCallHandle(kQ, "quincy", 6);
    store_.RefreshShownCall(kQ);
    store_.GetShownHandle(buffer);
    EXPECT_STREQ(buffer, "quincy");
}

TEST(CallTextFormats, DurationsAreHoursMinutesSecondsNotWrappedAtADay) {
    CallStore store;
    store.SetShownDurationText(3725);
    EXPECT_EQ(ReadDuration(store), "01:02:05");
    store.SetShownDurationText(90061);
    EXPECT_EQ(ReadDuration(store), "25:01:01");
    store.SetShownDurationText(0);
    EXPECT_EQ(ReadDuration(store), "00:00:00");
    store.SetShownDurationText(360000);
    EXPECT_EQ(ReadDuration(store), "100:00:00");

    // A running call's length comes through the current call's duration.
    store.SetCurrentCallDuration(59);
    EXPECT_EQ(ReadDuration(store), "00:00:59");
    store.SetSecondCallDuration(61);
    EXPECT_EQ(ReadDuration(store), "00:00:59");
}

TEST(CallTextFormats, TheTimeTextIsLocalMonthDayYearHoursMinutes) {
    CallStore store;
    store.AddCall(1, 1);
    store.SetCallType(1, CALLTYPE_INCOMING_P2P);
    store.SetCallTimestamp(1, 1796565959);  // 2026-12-06 14:05:59 UTC
    store.SetCallDuration(1, 90061);
    int id = 0;
    ASSERT_EQ(store.BrowseCalls(0, 0, &id), HSD_OK);

    SetTimeZone("UTC0");
    store.RefreshShownCall(1);
    EXPECT_EQ(ReadTime(store), "12/06/26 14:05");
    EXPECT_EQ(ReadDuration(store), "25:01:01");

    // Three hours east of UTC, and across a year's end.
    SetTimeZone("ABC-3");
    store.RefreshShownCall(1);
    EXPECT_EQ(ReadTime(store), "12/06/26 17:05");
    store.SetCallTimestamp(1, 1798756200);  // 2026-12-31 22:30 UTC
    store.RefreshShownCall(1);
    EXPECT_EQ(ReadTime(store), "01/01/27 01:30");
    SetTimeZone("UTC0");

    // A timestamp of 0 empties the time text and leaves the duration text alone.
    store.SetCallTimestamp(1, 0);
    store.SetCallDuration(1, 5);
    store.RefreshShownCall(1);
    EXPECT_EQ(ReadTime(store), "");
    EXPECT_EQ(ReadDuration(store), "25:01:01");
    EXPECT_EQ(store.FormatShownTexts(), E_FAIL);

    // A duration of 0 empties the duration text.
    store.SetCallTimestamp(1, 1796565959);
    store.SetCallDuration(1, 0);
    store.RefreshShownCall(1);
    EXPECT_EQ(ReadTime(store), "12/06/26 14:05");
    EXPECT_EQ(ReadDuration(store), "");
}

TEST(CallTextReaders, TimeAndDurationStartOverButTheHandleIsHandedOutOncePerBrowse) {
    CallStore store;
    store.AddCall(1, 1);
    store.SetCallType(1, CALLTYPE_OUTGOING_P2P);
    store.SetCallHandle(1, "bob", 3);
    store.SetCallTimestamp(1, 1796565959);
    store.SetCallDuration(1, 3725);
    store.AddCall(2, 1);
    store.SetCallType(2, CALLTYPE_OUTGOING_P2P);
    store.SetCallHandle(2, "alexander", 9);
    SetTimeZone("UTC0");

    int id = 0;
    store.SetListMode(CALLLIST_DIALLED);
    store.BrowseCalls(0, 0, &id);  // the newest: 2
    store.BrowseCalls(0, 1, &id);
    ASSERT_EQ(id, 1);
    store.RefreshShownCall(1);

    // Duration: the whole text once, a failure, then the whole text again.
    EXPECT_EQ(ReadDuration(store), "01:02:05");
    EXPECT_EQ(ReadDuration(store), "01:02:05");
    char ch = 0;
    EXPECT_EQ(store.ReadShownTimeChar(&ch), HSD_OK);
    EXPECT_EQ(ch, '1');
    EXPECT_EQ(ReadTime(store), "2/06/26 14:05");
    EXPECT_EQ(ReadTime(store), "12/06/26 14:05");

    // Handle: once, then failures until the next browse step.
    EXPECT_EQ(ReadHandle(store), "bob");
    EXPECT_EQ(store.ReadShownHandleChar(&ch), E_FAIL);
    EXPECT_EQ(store.ReadShownHandleChar(&ch), E_FAIL);
    store.BrowseCalls(0, 1, &id);  // the same entry again
    EXPECT_EQ(ReadHandle(store), "bob");

    // A position beyond a shorter text fails without handing out a stray byte.
    store.BrowseCalls(1, 1, &id);
    ASSERT_EQ(id, 2);
    store.RefreshShownCall(2);
    EXPECT_EQ(store.ReadShownHandleChar(&ch), HSD_OK);
    for (int i = 0; i < 5; ++i) {
        store.ReadShownHandleChar(&ch);
    }
    store.SetCallHandle(2, "al", 2);
    store.RefreshShownCall(2);
    EXPECT_EQ(store.ReadShownHandleChar(&ch), E_FAIL);
    store.ResetCallBrowse();
    EXPECT_EQ(store.ReadShownHandleChar(&ch), E_FAIL);  // reset empties the shown handle

    // Empty texts fail at once.
    CallStore fresh;
    EXPECT_EQ(fresh.ReadShownTimeChar(&ch), E_FAIL);
    EXPECT_EQ(fresh.ReadShownDurationChar(&ch), E_FAIL);
    EXPECT_EQ(fresh.ReadShownHandleChar(&ch), E_FAIL);
}
