// A fake clock that other threads (a server thread) may read while the test moves it.
#pragma once

#include <atomic>

#include "common/clock.h"

class TThreadFakeClock : public TClock {
public:
    explicit TThreadFakeClock(TDateTime Local) : FNow(Local) {}
    TDateTime Now() const override { return FNow.load(); }
    TDateTime NowUtc() const override { return FNow.load(); }
    int64_t MonotonicMs() const override { return FMonotonicMs.load(); }
    void Sleep(int Milliseconds) override { Advance(Milliseconds); }
    void Advance(int Milliseconds) {
        FNow.store(FNow.load() + Milliseconds * OneMillisecond);
        FMonotonicMs += Milliseconds;
    }

private:
    std::atomic<TDateTime> FNow;
    std::atomic<int64_t> FMonotonicMs{0};
};
