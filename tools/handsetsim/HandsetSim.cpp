#include "HandsetSim.h"

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <list>
#include <mutex>
#include <thread>

#include "VirtualDevice.h"

namespace handsetsim {

namespace {

constexpr DWORD kPipeBuffer = 4096;
constexpr std::size_t kReadBuffer = 64;
// Reports a client doesn't read pile up to this many, then are dropped, as a
// HID device's input buffer of an unread handle overflows.
constexpr std::size_t kMaxPendingWrites = 64;
constexpr std::size_t kMaxConnections = 60;

std::string HexLine(const char* prefix, const std::vector<std::uint8_t>& bytes) {
    std::string line = prefix;
    char text[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(text, sizeof text, i == 0 ? "%02X" : " %02X", bytes[i]);
        line += text;
    }
    return line;
}

struct PendingWrite {
    OVERLAPPED overlapped{};
    std::vector<std::uint8_t> data;
};

struct Connection {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    bool reading = false;  // a read is pending
    OVERLAPPED readOverlapped{};
    std::array<std::uint8_t, kReadBuffer> buffer{};
    std::list<PendingWrite> writes;
};

void ReapWrites(Connection& connection, bool wait) {
    for (auto it = connection.writes.begin(); it != connection.writes.end();) {
        DWORD done = 0;
        if (wait || HasOverlappedIoCompleted(&it->overlapped)) {
            GetOverlappedResult(connection.pipe, &it->overlapped, &done, TRUE);
            CloseHandle(it->overlapped.hEvent);
            it = connection.writes.erase(it);
        } else {
            ++it;
        }
    }
}

void CloseConnection(Connection& connection) {
    CancelIo(connection.pipe);
    DWORD done = 0;
    if (connection.reading) {
        GetOverlappedResult(connection.pipe, &connection.readOverlapped, &done, TRUE);
    }
    ReapWrites(connection, true);
    DisconnectNamedPipe(connection.pipe);
    CloseHandle(connection.pipe);
    CloseHandle(connection.readOverlapped.hEvent);
    connection.pipe = INVALID_HANDLE_VALUE;
}

}  // namespace

struct VirtualHandset::Impl {
    explicit Impl(VirtualHandsetOptions o) : options(std::move(o)) {
        start = std::chrono::steady_clock::now();
    }

    VirtualHandsetOptions options;
    std::chrono::steady_clock::time_point start;

    mutable std::mutex lock;
    mutable std::condition_variable changed;
    HandsetState state;
    LcdDecoder decoder;
    AsciiFont font;
    std::vector<OutputRecord> outputs;
    std::vector<Acknowledgement> acks;
    std::vector<std::string> transcript;
    std::function<void(const std::string&)> sink;
    std::deque<std::vector<std::uint8_t>> outgoing;
    int nextSequence = 0;
    int nextHandshake = 0;
    std::vector<std::uint8_t> lastKey;
    std::array<bool, 4> outstanding{};
    std::array<std::size_t, 4> ackMark{};

    // Server thread and its objects.
    std::thread server;
    HANDLE wake = nullptr;
    bool stopping = false;
    bool takingOutputs = true;
    HANDLE mapping = nullptr;
    int connectionCount = 0;

    double NowMs() const {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }

    void Log(const std::string& line) {
        transcript.push_back(line);
        if (sink) {
            sink(line);
        }
    }

    // Under the lock: queues an input report for every connected client.
    void QueueInput(std::vector<std::uint8_t> report) {
        report.resize(options.inputReportLength, 0);
        Log(HexLine("MCU->PC: ", report));
        outgoing.push_back(std::move(report));
        if (wake != nullptr) {
            SetEvent(wake);
        }
    }

    std::vector<std::uint8_t> KeyReport(std::uint8_t code, std::uint8_t aux, int sequence) const {
        return {0, aux, code, static_cast<std::uint8_t>(sequence), 0, 0, 0, 0};
    }

    int QueueKey(std::uint8_t code, std::uint8_t aux) {
        const int sequence = nextSequence;
        nextSequence = (nextSequence + 1) % 4;
        lastKey = KeyReport(code, aux, sequence);
        outstanding[static_cast<std::size_t>(sequence)] = true;
        ackMark[static_cast<std::size_t>(sequence)] = acks.size();
        QueueInput(lastKey);
        return sequence;
    }

    void QueueHandshake(std::uint8_t code) {
        const int sequence = 4 + nextHandshake;
        nextHandshake = (nextHandshake + 1) % 4;
        ++state.handshakesSent;
        QueueInput({0, 0, code, static_cast<std::uint8_t>(sequence), 0, 0, 0, 0});
    }

    static bool IsAckCode(std::uint8_t command) {
        const int high = command & 0xF0;
        return (high == 0x50 || high == 0x30) && (command & 0x0F) < 4;
    }

    bool TakeAck(std::uint8_t command) {
        const std::size_t sequence = command & 0x03;
        if (!IsAckCode(command) || !outstanding[sequence]) {
            return false;
        }
        outstanding[sequence] = false;
        acks.push_back({static_cast<int>(sequence), (command & 0xF0) == 0x50, NowMs()});
        return true;
    }

    // Under the lock: what the MCU does with one output report.
    void OnOutput(const std::uint8_t* bytes, std::size_t length) {
        OutputRecord record;
        record.bytes.assign(bytes, bytes + length);
        record.atMs = NowMs();
        Log(HexLine("MCU<-PC: ", record.bytes));
        outputs.push_back(record);
        std::uint8_t b[8] = {};
        std::memcpy(b, bytes, std::min<std::size_t>(length, 8));
        const std::uint8_t command = b[3];
        const std::uint8_t data = b[4];

        if (command == 0 && (data == 0x60 || data == 0x70)) {
            const int reg = b[5];
            if (data == 0x60) {
                state.registers[reg] = {b[6], b[7]};
                if (reg == kMixerControlRegister) {
                    state.mixerEnabled = b[6] == 0x55 && b[7] == 0x55;
                }
            } else if (options.answerRegisterReads) {
                const auto value =
                    state.registers.count(reg) ? state.registers[reg] : std::pair<int, int>{0, 0};
                QueueInput({0, 0, 0x70, 0xF0, static_cast<std::uint8_t>(reg),
                            static_cast<std::uint8_t>(value.first),
                            static_cast<std::uint8_t>(value.second), 0});
            }
            return;
        }

        if (decoder.InTransfer()) {
            if (data == 0 && decoder.Items() == 0 && TakeAck(command)) {
                return;  // a key acknowledged before the transfer's first item
            }
            if (data == 0 && decoder.Items() == 0) {
                // Every transfer opens with a marker (data 0x0A) or its start
                // (0x00, 0x4F): this is a command, and the announced transfer
                // is not coming (refused, or the program was busy).
                decoder.Abort();
            } else {
                // An acknowledgement that slipped in among the items: a data
                // item would carry phase 5 here.
                if (data == 0 && decoder.ExpectedPhase() == 5 && TakeAck(command)) {
                    return;
                }
                if (decoder.Feed(command, data)) {
                    ++state.transfers;
                    Log("display:\n" + RenderText(decoder.Shown()));
                }
                return;
            }
        }

        if (command == 0x00 && data == 0x4F) {
            decoder.Clear();
            state.lastCommand = command;
            return;
        }
        if (data != 0) {
            state.lastCommand = command;
            return;
        }
        if (command == 0x06 && state.lastCommand == 0x51) {
            ++state.linkStarts;
            if (options.answerLinkStart) {
                QueueKey(options.linkAnswer, 0);
            }
        }
        TakeAck(command);
        switch (command) {
            case 0x24:
            case 0x25:
            case 0x26:
            case 0x27:
                ++state.handshakesRefused;
                break;
            case 0x3E:
            case 0x3F:
                if (options.answerTransfers) {
                    state.noList = false;
                    decoder.Begin();
                    QueueHandshake(0x5A);
                }
                break;
            case 0x1A:
                state.noList = true;
                break;
            case 0x9E:
                state.ringing = true;
                state.callFailed = false;
                break;
            case 0x1F:
                state.ringing = false;
                state.routing = false;
                state.callActive = true;
                break;
            case 0x20:
                state.ringing = false;
                state.routing = false;
                state.callActive = false;
                break;
            case 0x98:
                state.routing = true;
                break;
            case 0x9F:
                state.callFailed = true;
                state.ringing = false;
                break;
            case 0x2D:
                ++state.ringToneChanges;
                break;
            case 0x2E:
                state.muted = false;
                break;
            case 0x2F:
                state.muted = true;
                break;
            case 0x07:
                state.shutdown = true;
                break;
            default:
                if (command >= 0x72 && command <= 0x78) {
                    state.userStatusCommand = command;
                }
                break;
        }
        state.lastCommand = command;
    }

    // ---- the pipe server (its own thread) ----

    HANDLE CreateInstance(bool first) {
        return CreateNamedPipeA(
            options.pipePath.c_str(),
            PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
            kPipeBuffer, kPipeBuffer, 0, nullptr);
    }

    // Starts waiting for a client on the listening instance; true when one
    // connected already (the event is then set by hand).
    static bool Listen(HANDLE pipe, OVERLAPPED& overlapped) {
        ResetEvent(overlapped.hEvent);
        if (!ConnectNamedPipe(pipe, &overlapped) && GetLastError() == ERROR_PIPE_CONNECTED) {
            SetEvent(overlapped.hEvent);
            return true;
        }
        return false;
    }

    // Starts the next read unless output reports are not being taken; false
    // when the pipe is broken.
    bool StartRead(Connection& connection) {
        {
            std::lock_guard<std::mutex> guard(lock);
            if (!takingOutputs) {
                return true;
            }
        }
        connection.reading = true;
        if (ReadFile(connection.pipe, connection.buffer.data(), kReadBuffer, nullptr,
                     &connection.readOverlapped)) {
            return true;
        }
        const DWORD error = GetLastError();
        connection.reading = error == ERROR_IO_PENDING || error == ERROR_MORE_DATA;
        return connection.reading;
    }

    void SetConnectionCount(int count) {
        std::lock_guard<std::mutex> guard(lock);
        connectionCount = count;
        state.connections = count;
        changed.notify_all();
    }

    void Flush(std::list<Connection>& connections) {
        std::deque<std::vector<std::uint8_t>> reports;
        {
            std::lock_guard<std::mutex> guard(lock);
            reports.swap(outgoing);
        }
        for (Connection& connection : connections) {
            ReapWrites(connection, false);
        }
        for (const auto& report : reports) {
            for (Connection& connection : connections) {
                if (connection.writes.size() >= kMaxPendingWrites) {
                    continue;
                }
                connection.writes.emplace_back();
                PendingWrite& write = connection.writes.back();
                write.data = report;
                write.overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
                if (!WriteFile(connection.pipe, write.data.data(),
                               static_cast<DWORD>(write.data.size()), nullptr, &write.overlapped) &&
                    GetLastError() != ERROR_IO_PENDING) {
                    CloseHandle(write.overlapped.hEvent);
                    connection.writes.pop_back();
                }
            }
        }
    }

    void Serve(HANDLE firstInstance) {
        std::list<Connection> connections;
        HANDLE listening = firstInstance;
        OVERLAPPED connectOverlapped{};
        connectOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        bool connectedAtOnce = Listen(listening, connectOverlapped);
        for (;;) {
            std::vector<HANDLE> events = {wake, connectOverlapped.hEvent};
            std::vector<Connection*> order;
            for (Connection& connection : connections) {
                events.push_back(connection.readOverlapped.hEvent);
                order.push_back(&connection);
            }
            const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(events.size()),
                                                        events.data(), FALSE, INFINITE);
            if (result == WAIT_OBJECT_0) {
                ResetEvent(wake);
                {
                    std::lock_guard<std::mutex> guard(lock);
                    if (stopping) {
                        break;
                    }
                }
                for (Connection& connection : connections) {
                    if (!connection.reading) {
                        StartRead(connection);  // output reports are taken again
                    }
                }
                Flush(connections);
                continue;
            }
            if (result == WAIT_OBJECT_0 + 1) {
                DWORD ignored = 0;
                const bool connected =
                    connectedAtOnce ||
                    GetOverlappedResult(listening, &connectOverlapped, &ignored, FALSE);
                ResetEvent(connectOverlapped.hEvent);
                if (connected && connections.size() >= kMaxConnections) {
                    // One wait covers at most 64 events: refuse further clients.
                    DisconnectNamedPipe(listening);
                    CloseHandle(listening);
                } else if (connected) {
                    connections.emplace_back();
                    Connection& connection = connections.back();
                    connection.pipe = listening;
                    connection.readOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
                    if (!StartRead(connection)) {
                        CloseConnection(connection);
                        connections.pop_back();
                    }
                } else {
                    CloseHandle(listening);
                }
                SetConnectionCount(static_cast<int>(connections.size()));
                listening = CreateInstance(false);
                if (listening == INVALID_HANDLE_VALUE) {
                    break;
                }
                connectedAtOnce = Listen(listening, connectOverlapped);
                continue;
            }
            const DWORD index = result - WAIT_OBJECT_0 - 2;
            if (result < WAIT_OBJECT_0 + 2 || index >= order.size()) {
                break;
            }
            Connection& connection = *order[index];
            DWORD received = 0;
            const bool ok = GetOverlappedResult(connection.pipe, &connection.readOverlapped,
                                                &received, FALSE) ||
                            GetLastError() == ERROR_MORE_DATA;
            ResetEvent(connection.readOverlapped.hEvent);
            connection.reading = false;
            if (ok && received > 0) {
                std::lock_guard<std::mutex> guard(lock);
                OnOutput(connection.buffer.data(), received);
                changed.notify_all();
            }
            if (!ok || !StartRead(connection)) {
                CloseConnection(connection);
                connections.remove_if(
                    [](const Connection& c) { return c.pipe == INVALID_HANDLE_VALUE; });
                SetConnectionCount(static_cast<int>(connections.size()));
            }
            Flush(connections);
        }
        for (Connection& connection : connections) {
            CloseConnection(connection);
        }
        if (listening != INVALID_HANDLE_VALUE) {
            CancelIo(listening);
            CloseHandle(listening);
        }
        CloseHandle(connectOverlapped.hEvent);
        SetConnectionCount(0);
    }

    template <typename Condition>
    bool Wait(int timeoutMs, Condition condition) const {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), condition);
    }
};

VirtualHandset::VirtualHandset(VirtualHandsetOptions options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

VirtualHandset::~VirtualHandset() {
    Unplug();
}

const VirtualHandsetOptions& VirtualHandset::Options() const {
    return impl_->options;
}

bool VirtualHandset::Plug() {
    Impl& d = *impl_;
    if (Plugged()) {
        return true;
    }
    HANDLE first = d.CreateInstance(true);
    if (first == INVALID_HANDLE_VALUE) {
        return false;
    }
    VirtualHandsetAnnouncement announcement{};
    announcement.magic = kVirtualHandsetMagic;
    announcement.vendorId = d.options.vendorId;
    announcement.productId = d.options.productId;
    announcement.versionNumber = 0x0100;
    announcement.inputReportByteLength = d.options.inputReportLength;
    announcement.outputReportByteLength = d.options.outputReportLength;
    const std::string mappingName = VirtualHandsetMappingName(d.options.pipePath);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof announcement, mappingName.c_str());
    if (mapping == nullptr) {
        CloseHandle(first);
        return false;
    }
    if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof announcement)) {
        std::memcpy(view, &announcement, sizeof announcement);
        UnmapViewOfFile(view);
    }
    if (d.options.setEnvironment) {
        SetEnvironmentVariableA(kVirtualHandsetVariable, d.options.pipePath.c_str());
    }
    {
        std::lock_guard<std::mutex> guard(d.lock);
        d.wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        d.stopping = false;
        d.mapping = mapping;
        d.state.plugged = true;
        d.Log("plug " + d.options.pipePath);
        d.changed.notify_all();
    }
    d.server = std::thread([&d, first] { d.Serve(first); });
    if (d.options.broadcastDeviceChange) {
        PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    }
    return true;
}

void VirtualHandset::Unplug() {
    Impl& d = *impl_;
    {
        std::lock_guard<std::mutex> guard(d.lock);
        if (!d.state.plugged) {
            return;
        }
        // The device disappears from discovery first, then its pipe breaks.
        CloseHandle(d.mapping);
        d.mapping = nullptr;
        d.stopping = true;
        SetEvent(d.wake);
    }
    d.server.join();
    {
        std::lock_guard<std::mutex> guard(d.lock);
        CloseHandle(d.wake);
        d.wake = nullptr;
        d.outgoing.clear();
        // Without power the MCU forgets a transfer it was in the middle of:
        // after the next plug the first reports are commands again. The
        // display keeps what the last completed transfer left.
        d.decoder.Abort();
        d.state.lastCommand = -1;
        d.takingOutputs = true;  // a firmware hang ends with the power
        d.state.plugged = false;
        d.Log("unplug");
        d.changed.notify_all();
    }
    if (d.options.broadcastDeviceChange) {
        PostMessageA(HWND_BROADCAST, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    }
}

void VirtualHandset::TakeOutputs(bool take) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->takingOutputs = take;
    impl_->Log(take ? "takes output reports again" : "stops taking output reports");
    if (impl_->wake != nullptr) {
        SetEvent(impl_->wake);
    }
}

bool VirtualHandset::Plugged() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->state.plugged;
}

int VirtualHandset::PressKey(std::uint8_t code, std::uint8_t aux) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (!impl_->state.plugged) {
        return -1;
    }
    return impl_->QueueKey(code, aux);
}

bool VirtualHandset::RepeatLastKey() {
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (!impl_->state.plugged || impl_->lastKey.empty()) {
        return false;
    }
    impl_->QueueInput(impl_->lastKey);
    return true;
}

bool VirtualHandset::SendHandshake(std::uint8_t code) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (!impl_->state.plugged) {
        return false;
    }
    impl_->QueueHandshake(code);
    return true;
}

bool VirtualHandset::SendReport(const std::vector<std::uint8_t>& report) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (!impl_->state.plugged) {
        return false;
    }
    impl_->QueueInput(report);
    return true;
}

bool VirtualHandset::WaitForConnections(int count, int timeoutMs) const {
    return impl_->Wait(timeoutMs, [this, count] { return impl_->connectionCount >= count; });
}

bool VirtualHandset::WaitForAcknowledgement(int sequence, int timeoutMs) const {
    if (sequence < 0 || sequence > 3) {
        return false;
    }
    return impl_->Wait(timeoutMs, [this, sequence] {
        const auto& acks = impl_->acks;
        for (std::size_t i = impl_->ackMark[static_cast<std::size_t>(sequence)]; i < acks.size();
             ++i) {
            if (acks[i].sequence == sequence) {
                return true;
            }
        }
        return false;
    });
}

bool VirtualHandset::WaitForOutputs(std::size_t count, int timeoutMs) const {
    return impl_->Wait(timeoutMs, [this, count] { return impl_->outputs.size() >= count; });
}

bool VirtualHandset::WaitForTransfers(int count, int timeoutMs) const {
    return impl_->Wait(timeoutMs, [this, count] { return impl_->state.transfers >= count; });
}

int VirtualHandset::WaitForOutput(const std::vector<int>& pattern, std::size_t from,
                                  int timeoutMs) const {
    int found = -1;
    auto matches = [&pattern](const OutputRecord& record) {
        for (std::size_t i = 0; i < pattern.size(); ++i) {
            if (pattern[i] < 0) {
                continue;
            }
            if (i >= record.bytes.size() || record.bytes[i] != pattern[i]) {
                return false;
            }
        }
        return true;
    };
    impl_->Wait(timeoutMs, [&] {
        for (std::size_t i = from; i < impl_->outputs.size(); ++i) {
            if (matches(impl_->outputs[i])) {
                found = static_cast<int>(i);
                return true;
            }
        }
        return false;
    });
    return found;
}

bool VirtualHandset::WaitForDisplay(const std::string& text, int timeoutMs) const {
    return impl_->Wait(timeoutMs, [this, &text] {
        return RenderText(impl_->decoder.Shown()).find(text) != std::string::npos;
    });
}

std::vector<OutputRecord> VirtualHandset::Outputs() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->outputs;
}

std::vector<Acknowledgement> VirtualHandset::Acknowledgements() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->acks;
}

HandsetState VirtualHandset::State() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->state;
}

LcdScreen VirtualHandset::Screen() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->decoder.Shown();
}

std::string VirtualHandset::DisplayText() const {
    return RenderText(Screen());
}

std::string VirtualHandset::DisplayArt() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return RenderArt(impl_->decoder.Shown(), impl_->font);
}

bool VirtualHandset::SavePng(const std::string& path, int scale) const {
    std::vector<std::uint8_t> png;
    {
        std::lock_guard<std::mutex> guard(impl_->lock);
        png = EncodePng(RenderBitmap(impl_->decoder.Shown(), impl_->font), scale);
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    return static_cast<bool>(file);
}

bool VirtualHandset::SavePbm(const std::string& path) const {
    std::string pbm;
    {
        std::lock_guard<std::mutex> guard(impl_->lock);
        pbm = EncodePbm(RenderBitmap(impl_->decoder.Shown(), impl_->font));
    }
    std::ofstream file(path, std::ios::binary);
    file << pbm;
    return static_cast<bool>(file);
}

void VirtualHandset::SetFont(const AsciiFont& font) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->font = font;
}

std::vector<std::string> VirtualHandset::Transcript() const {
    std::lock_guard<std::mutex> guard(impl_->lock);
    return impl_->transcript;
}

void VirtualHandset::SetTranscriptSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->sink = std::move(sink);
}

}  // namespace handsetsim
