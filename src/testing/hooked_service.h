// The conversion service with a hook before every file, so a test can act mid-pass (for the
// tests of src/service, which link the service).
#pragma once

#include <functional>
#include <string>

#include "service/fcssrv.h"

class THookedService : public TFcService {
public:
    using TFcService::TFcService;
    std::function<void(const std::string&)> BeforeFile;
    bool ProcessFile(const std::string& FileName, const TChainEntry& Entry,
                     TFileVisit& Visit) override {
        if (BeforeFile) {
            BeforeFile(FileName);
        }
        return TFcService::ProcessFile(FileName, Entry, Visit);
    }
};
