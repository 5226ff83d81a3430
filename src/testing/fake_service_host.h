// A service host for tests: requests are posted by the test, status reports are only counted.
#pragma once

#include "platform/servicehost.h"

class TFakeServiceHost : public TServiceHost {
public:
    void ReportStatus() override { ++Reports; }
    int Reports = 0;
};
