#include "platform/clock.h"

#include <chrono>
#include <thread>

TDateTime TSystemClock::Now() const {
    return NowLocal();
}

TDateTime TSystemClock::NowUtc() const {
    return ::NowUtc();
}

int64_t TSystemClock::MonotonicMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TSystemClock::Sleep(int Milliseconds) {
    if (Milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
    }
}
