#include "platform/clock.h"

#include <chrono>
#include <thread>

TDateTime TSystemClock::Now() const {
    return NowLocal();
}

TDateTime TSystemClock::NowUtc() const {
    return ::NowUtc();
}

void TSystemClock::Sleep(int Milliseconds) {
    if (Milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
    }
}
