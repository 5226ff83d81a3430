// The status-file reader: any text as the status file of a directory holding a few files; every
// file is then either recorded or offered, and the saved status file reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/clock.h"
#include "common/datetime.h"
#include "fuzz_dir.h"
#include "platform/files.h"
#include "service/dirlist.h"
#include "still_clock.h"

namespace {

// One directory for the whole run, with the files the status lines may name.
const std::string& Directory() {
    static const std::string Dir = [] {
        const std::string Made = MakeFuzzDirectory("status");
        for (const char* Name : {"a.txt", "B.TXT", "b.txt", "081224.vrk"}) {
            WriteFileAtomically(Made + "/" + Name, Name);
            SetFileTimeUtc(Made + "/" + Name, EncodeDateTime(2008, 3, 25, 12, 0, 0, 0));
        }
        return Made;
    }();
    return Dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string& Dir = Directory();
    WriteFileAtomically(Dir + "/fclist_none0.dst",
                        std::string_view(reinterpret_cast<const char*>(Data), Size));
    const TStillClock Clock;
    TDirectoryList List(Dir, "*", "fclist_none0.dst", Clock, 60);
    List.Process(true, [](const std::string&, TFileVisit&) { return true; });
    List.Save();
    // Read back, everything is recorded.
    TDirectoryList Again(Dir, "*", "fclist_none0.dst", Clock, 60);
    bool Offered = false;
    Again.Process(true, [&](const std::string&, TFileVisit&) {
        Offered = true;
        return true;
    });
    if (Offered) {
        __builtin_trap();
    }
    return 0;
}
