// Disk faults for tests: counts the operations of the file layer that change the disk and makes
// the n-th of them fail, through the file layer's fault seam, while it is alive.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"

class TInjectedFaults : public TFileFaults {
public:
    // Fails operation FailAt (1-based; 0 fails none) with Error.
    explicit TInjectedFaults(int FailAt = 0, int Error = 0);
    ~TInjectedFaults() override;
    TInjectedFaults(const TInjectedFaults&) = delete;
    TInjectedFaults& operator=(const TInjectedFaults&) = delete;

    int Before(TFileOp Op, const std::string& Path) override;

    struct TOp {
        TFileOp Op;
        std::string Path;
    };
    // Every operation asked about, the failed one included.
    const std::vector<TOp>& Ops() const { return FOps; }
    bool Fired() const { return FFired; }

private:
    int FFailAt;
    int FError;
    bool FFired = false;
    std::vector<TOp> FOps;
    TFileFaults* FPrevious;
};

// "write", "fsync", "rename" or "mkdir".
const char* FileOpName(TFileOp Op);
