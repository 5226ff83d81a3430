// The keyed-file reader: the first byte picks the kind of keyed file, the rest is the file it
// loads. Putting a loaded line again adds no record; the sorted records are in order; a saved
// file loads back the same.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/text.h"
#include "fuzz_dir.h"
#include "platform/files.h"
#include "retail/keyed_file.h"

namespace {

const std::string& Path() {
    static const std::string P = MakeFuzzDirectory("keyed") + "/keyed.txt";
    return P;
}

std::unique_ptr<TKeyedFile> Open(uint8_t Kind) {
    switch (Kind % 4) {
    case 0:
        return std::make_unique<TSoftTouchFile>(Path());
    case 1:
        return std::make_unique<TGenerixFile>(Path());
    case 2:
        return std::make_unique<TOdeisFile>(Path());
    default:
        return std::make_unique<TXlSoftFile>(Path());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) {
        return 0;
    }
    WriteFileAtomically(Path(),
                        std::string_view(reinterpret_cast<const char*>(Data) + 1, Size - 1));
    const std::unique_ptr<TKeyedFile> File = Open(Data[0]);
    const std::vector<std::string> Loaded = File->Records;
    for (const std::string& Line : Loaded) {
        File->Put(Line);
    }
    if (File->Records.size() != Loaded.size()) {
        __builtin_trap();
    }
    File->Sort();
    const TKeyedFile::TCompare Less =
        File->CompareRecords ? File->CompareRecords
                             : TKeyedFile::TCompare([](const std::string& A, const std::string& B) {
                                   return LowerCase(A) < LowerCase(B);
                               });
    for (std::size_t I = 1; I < File->Records.size(); ++I) {
        if (Less(File->Records[I], File->Records[I - 1])) {
            __builtin_trap();
        }
    }
    File->UnixLineEnds = (Data[0] & 4) != 0;
    File->Save();
    const std::unique_ptr<TKeyedFile> Again = Open(Data[0]);
    if (Again->Records != File->Records || Again->HeaderLines != File->HeaderLines ||
        Again->Keys != File->Keys) {
        __builtin_trap();
    }
    return 0;
}
