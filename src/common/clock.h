// The clock seam: every "now" and every sleep of the system goes through a TClock handed to the
// object that needs it. The system clock lives in platform/, a fake one in testing/.
#pragma once

#include <cstdint>

#include "common/datetime.h"

class TClock {
public:
    virtual ~TClock() = default;
    virtual TDateTime Now() const = 0;    // local wall-clock time
    virtual TDateTime NowUtc() const = 0; // UTC
    // Milliseconds on a clock that only moves forward, whatever is done to the wall clock (clock
    // changes, an administrator setting the time): for measuring intervals.
    virtual int64_t MonotonicMs() const = 0;
    virtual void Sleep(int Milliseconds) = 0;
};
