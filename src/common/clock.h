// The clock seam: every "now" and every sleep of the system goes through a TClock handed to the
// object that needs it. The system clock lives in platform/, a fake one in testing/.
#pragma once

#include "common/datetime.h"

class TClock {
public:
    virtual ~TClock() = default;
    virtual TDateTime Now() const = 0;    // local wall-clock time
    virtual TDateTime NowUtc() const = 0; // UTC
    virtual void Sleep(int Milliseconds) = 0;
};
