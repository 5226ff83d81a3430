// A clock for tests: time stands still until the test moves it, and Sleep only advances it.
// Advance and Sleep move the wall clock and the monotonic clock together; Set steps the wall
// clock alone, as a clock change does.
#pragma once

#include <functional>

#include "common/clock.h"

class TFakeClock : public TClock {
public:
    // Local is the local wall-clock time; UTC = local time + BiasMinutes.
    explicit TFakeClock(TDateTime Local = 0, int BiasMinutes = 0);

    TDateTime Now() const override { return FNow; }
    TDateTime NowUtc() const override;
    int64_t MonotonicMs() const override { return FMonotonicMs; }
    // Advances the time by Milliseconds, then runs OnSleep (if set) once.
    void Sleep(int Milliseconds) override;

    void Set(TDateTime Local) { FNow = Local; }
    void Advance(int Milliseconds);
    int SleepCount() const { return FSleeps; }

    // Runs after every Sleep: lets a test post requests or change files at a given time.
    std::function<void()> OnSleep;

private:
    TDateTime FNow;
    int FBiasMinutes;
    int64_t FMonotonicMs = 0;
    int FSleeps = 0;
};
