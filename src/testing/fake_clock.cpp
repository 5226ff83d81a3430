#include "testing/fake_clock.h"

TFakeClock::TFakeClock(TDateTime Local, int BiasMinutes) : FNow(Local), FBiasMinutes(BiasMinutes) {}

TDateTime TFakeClock::NowUtc() const {
    return FNow + FBiasMinutes / 1440.0;
}

void TFakeClock::Advance(int Milliseconds) {
    FNow += Milliseconds * OneMillisecond;
    FMonotonicMs += Milliseconds;
}

void TFakeClock::Sleep(int Milliseconds) {
    Advance(Milliseconds);
    ++FSleeps;
    if (OnSleep) {
        OnSleep();
    }
}
