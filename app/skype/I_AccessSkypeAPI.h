// The Skype link as the rest of the program sees it. The order of the
// operations is fixed.
#pragma once

#include <cstddef>

#include "Configuration.h"
#include "HsdStatus.h"

class CHsdFontProcess;

class I_AccessSkypeAPI {
public:
    // Queues a notification text from Skype (copied).
    virtual HsdStatus AddToMessageInQueue(const char* text) = 0;
    // Queues a command text for Skype (copied).
    virtual HsdStatus AddToMessageOutQueue(const char* text) = 0;
    // Formats the command of a SkypeCommandCode and queues it; returns 0 always.
    virtual HsdStatus SendSkypeCommand(unsigned char code, const char* userHandle, int callId) = 0;
    virtual HsdStatus GetRegisterDefaults(int* reg04Value, int* reg1CValue) = 0;
    // Reads VoxlinkAPI.ini from programFolder (ending in a backslash) and hands
    // out the ten switches.
    virtual HsdStatus LoadConfiguration(const char* programFolder, ConfigSwitches* switches) = 0;
    virtual HsdStatus GetAudioDeviceNames(char* audioIn, std::size_t audioInSize, char* audioOut,
                                          std::size_t audioOutSize) = 0;
    // Fills a combo box of a dialog (window handle) with the ring melody names.
    virtual HsdStatus FillRingList(void* dialog, int comboId) = 0;
    // Out buffers of at least 260 bytes hold every value whole; smaller ones get it cut.
    virtual HsdStatus GetWindowName(char* out, std::size_t size) = 0;
    virtual HsdStatus GetFileNoHW(char* out, std::size_t size) = 0;
    virtual HsdStatus GetFileNoSkype(char* out, std::size_t size) = 0;
    virtual HsdStatus GetFileActive(char* out, std::size_t size) = 0;
    // E_FAIL, nothing copied, when CustomerINFO is empty.
    virtual HsdStatus GetCustomerInfo(char* out, std::size_t size) = 0;
    virtual HsdStatus SetHandsetDisplayMode(int on) = 0;
    // Starts a worker that carries out request (a QueueAPIRequest). Each call
    // starts its own worker, which runs exactly the request it was given.
    virtual HsdStatus StartQueueAPIThread(int request) = 0;
    virtual HsdStatus SetFontProcess(CHsdFontProcess* fontProcess) = 0;
    virtual HsdStatus UpdateTrayState() = 0;
    virtual HsdStatus GetUserStatus(int* status) = 0;
    virtual HsdStatus ShowMissedCalls(int ignored) = 0;
    virtual HsdStatus SendUserStatusToHandset(int status) = 0;
    virtual ~I_AccessSkypeAPI() = default;
};
