// The version of the running program, compiled in from the project version.
#pragma once

#include <cstdint>
#include <string>

class TVersionInfo {
public:
    // FileName empty: the running program. Other files carry no version on this platform and
    // leave every value zero.
    explicit TVersionInfo(const std::string& FileName = {});

    uint16_t Major = 0;
    uint16_t Minor = 0;
    uint16_t Release = 0;
    uint16_t Build = 0;
    bool Debug = false;
    bool PreRelease = false;
};
