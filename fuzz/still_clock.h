// A clock that stands still at 2008-03-25 17:00, for the fuzz targets that need one.
#pragma once

#include "common/clock.h"
#include "common/datetime.h"

class TStillClock : public TClock {
public:
    TDateTime Now() const override { return EncodeDateTime(2008, 3, 25, 17, 0, 0, 0); }
    TDateTime NowUtc() const override { return Now(); }
    int64_t MonotonicMs() const override { return 0; }
    void Sleep(int) override {}
};
