// The homes of the benchmarks that run the service: one NONE slot watching many small files.
#pragma once

#include <filesystem>
#include <string>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "service/dirlist.h"

// Makes Home anew: Home/in with Count small files, Home/out, the configuration (General holds
// the lines of its [General] section) and the status file recording every file as converted, as
// a service that has seen them all would have. "ready" is written last, so a home cut short by an
// interrupted run is made again: answers false when Home was ready and is kept as it is.
inline bool MakeNoneHome(const std::string& Home, int Count, const std::string& General) {
    if (std::filesystem::exists(Home + "/ready")) {
        return false;
    }
    const std::string In = Home + "/in";
    std::error_code Ignored;
    std::filesystem::remove_all(Home, Ignored);
    ForceDirectories(In);
    ForceDirectories(Home + "/out");
    for (int I = 0; I < Count; ++I) {
        AppendToFile(In + Format("/%06d_shop%d.vrk", I, I % 50), Format("file %d\r\n", I));
    }
    WriteFileAtomically(Home + "/tarno.ini",
                        "[General]\r\n" + General + "[Directory0]\r\nTrackDirectory=" + In +
                            "\r\nConvType=NONE\r\nOutDir=" + Home + "/out\r\nFileExt=vrk\r\n");
    const TSystemClock Clock;
    TDirectoryList List(In, "vrk", "fclist_none0.dst", Clock, StandardBiasMinutes());
    List.Process(true, [](const std::string&, TFileVisit&) { return true; });
    List.Save();
    WriteFileAtomically(Home + "/ready", "");
    return true;
}
