// The working directory of a fuzz target: made once per run, on tmpfs (/dev/shm) when there is
// one so that the targets that must go through files do not wait for a disk, removed by nobody
// (it lives as long as the tmpfs or /tmp does).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/files.h"

// A new directory "<tmpfs or /tmp>/tarno-fuzz-<Name>-XXXXXX", the same for the whole run.
inline std::string MakeFuzzDirectory(const std::string& Name) {
    const std::string Base = IsRealDirectory("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string Template = Base + "/tarno-fuzz-" + Name + "-XXXXXX";
    if (::mkdtemp(Template.data()) == nullptr) {
        std::abort();
    }
    return Template;
}

// Deletes every file of Dir (not its subdirectories).
inline void EmptyFuzzDirectory(const std::string& Dir) {
    for (const TFileEntry& F : ListFiles(Dir, "*")) {
        DeleteFile(Dir + "/" + F.Name);
    }
}
