// The export index readers: the first byte picks the index (Cegid, Cylande by 30 or 15 minutes,
// the ACE counting index), the rest up to the first NUL byte is the index file, what follows it
// the output file the ACE export keeps sorted. After a record is added and everything exported,
// the saved index loads back whole and a second export delivers nothing more.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/datetime.h"
#include "common/errors.h"
#include "fuzz_dir.h"
#include "platform/files.h"
#include "retail/ace_index.h"
#include "retail/exportfiles.h"
#include "retail/index_cylande.h"

namespace {

const std::string& Directory() {
    static const std::string Dir = MakeFuzzDirectory("index");
    return Dir;
}

void Trap(bool Failed) {
    if (Failed) {
        __builtin_trap();
    }
}

void FuzzIndexBase(TIndexBase& Index, const std::string& Out) {
    Index.Load();
    Index.AddFields({"1", "4", "2", "2", "0", "1"}, false, EncodeDateTime(2008, 3, 7, 10, 0, 0, 0));
    Index.AddFields({"1", "3", "3"}, true, EncodeDateTime(2008, 3, 7, 10, 20, 0, 0));
    // Recorded in one step, exported in the next, as the exports do.
    Index.Save();
    Index.Load();
    Index.Export(Directory(), "out.txt");
    Index.Save();
    Index.Load();
    Trap(Index.Lines().size() != ReadTextLines(Index.IndexPath()).size());
    const std::string Delivered = ReadFileBytes(Out);
    Index.Export(Directory(), "out.txt");
    Trap(ReadFileBytes(Out) != Delivered);
}

void FuzzAce(std::string_view Output, const std::string& Out) {
    WriteFileAtomically(Out, Output);
    TAceIndex Index(Directory(), "index.txt");
    Index.Load();
    const std::string Fields[] = {"20"};
    Index.Add(EncodeDateTime(2008, 3, 7, 9, 0, 0, 0), Fields);
    Index.Save();
    const TDateTime Now = EncodeDateTime(2008, 3, 8, 0, 0, 0, 0);
    Index.Export(Out, Now);
    Index.Load();
    Trap(Index.Lines().size() != ReadTextLines(Index.IndexPath()).size());
    const std::string Delivered = ReadFileBytes(Out);
    Index.Export(Out, Now);
    Trap(ReadFileBytes(Out) != Delivered);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) {
        return 0;
    }
    const std::string_view Input(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    const std::size_t Nul = std::min(Input.find('\0'), Input.size());
    const std::string Out = Directory() + "/out.txt";
    EmptyFuzzDirectory(Directory());
    WriteFileAtomically(Directory() + "/index.txt", Input.substr(0, Nul));
    try {
        switch (Data[0] % 4) {
        case 0: {
            TIndexCegid Index(Directory(), "index.txt");
            FuzzIndexBase(Index, Out);
            break;
        }
        case 1:
        case 2: {
            TIndexCylande Index(Directory(), "index.txt");
            Index.SetSlotMinutes(Data[0] % 4 == 1 ? 30 : 15);
            FuzzIndexBase(Index, Out);
            break;
        }
        default:
            FuzzAce(Input.substr(std::min(Nul + 1, Input.size())), Out);
            break;
        }
    } catch (const ETarnoError&) {
        // a file error of the export
    }
    return 0;
}
