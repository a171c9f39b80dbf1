// What the contact store needs from the Skype link: a way to queue one of the
// coded Skype commands. The Skype link implements it with its own
// SendSkypeCommand; tests implement it with a recorder.
#pragma once

#include "HsdStatus.h"

class I_SkypeCommandSender {
public:
    // code: the one-byte command code; userHandle: the handle for commands that
    // name a user (else null); callId: the call id for commands that name a
    // call (else 0). Only queues the text; it never calls back into a store.
    virtual HsdStatus SendSkypeCommand(unsigned char code, const char* userHandle, int callId) = 0;

protected:
    ~I_SkypeCommandSender() = default;
};
