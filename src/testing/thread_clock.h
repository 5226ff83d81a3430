// A fake clock that other threads (a server thread) may read while the test moves it.
#pragma once

#include <atomic>

#include "common/clock.h"

class TThreadFakeClock : public TClock {
public:
    explicit TThreadFakeClock(TDateTime Local) : FNow(Local) {}
    TDateTime Now() const override { return FNow.load(); }
    TDateTime NowUtc() const override { return FNow.load(); }
    int64_t MonotonicMs() const override {
        return static_cast<int64_t>(FNow.load() / OneMillisecond);
    }
    void Sleep(int Milliseconds) override { Advance(Milliseconds); }
    void Advance(int Milliseconds) { FNow.store(FNow.load() + Milliseconds * OneMillisecond); }

private:
    std::atomic<TDateTime> FNow;
};
