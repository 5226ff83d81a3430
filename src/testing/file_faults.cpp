#include "testing/file_faults.h"

TInjectedFaults::TInjectedFaults(int FailAt, int Error)
    : FFailAt(FailAt), FError(Error), FPrevious(SetFileFaults(this)) {}

TInjectedFaults::~TInjectedFaults() {
    SetFileFaults(FPrevious);
}

int TInjectedFaults::Before(TFileOp Op, const std::string& Path) {
    FOps.push_back({Op, Path});
    if (static_cast<int>(FOps.size()) == FFailAt) {
        FFired = true;
        return FError;
    }
    return 0;
}

const char* FileOpName(TFileOp Op) {
    switch (Op) {
    case TFileOp::Write:
        return "write";
    case TFileOp::Sync:
        return "fsync";
    case TFileOp::Rename:
        return "rename";
    case TFileOp::MakeDir:
        return "mkdir";
    }
    return "?";
}
