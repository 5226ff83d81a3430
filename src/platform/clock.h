// The system clock: local and UTC time of the machine, and a real sleep.
#pragma once

#include "common/clock.h"

class TSystemClock : public TClock {
public:
    TDateTime Now() const override;
    TDateTime NowUtc() const override;
    int64_t MonotonicMs() const override; // CLOCK_MONOTONIC
    void Sleep(int Milliseconds) override;
};
