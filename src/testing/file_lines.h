// The lines of a text file written with CR LF line ends, for tests that compare a written file
// line by line with the lines they expect.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"

// The lines of Path; a line without CR LF fails the test. A missing file has no lines.
inline std::vector<std::string> FileLines(const std::string& Path) {
    std::vector<std::string> Lines;
    std::string Text;
    if (!TryReadFileBytes(Path, Text)) {
        return Lines;
    }
    std::size_t Start = 0;
    while (Start < Text.size()) {
        const std::size_t End = Text.find("\r\n", Start);
        EXPECT_NE(End, std::string::npos) << "line without CR LF in " << Path;
        if (End == std::string::npos) {
            break;
        }
        Lines.push_back(Text.substr(Start, End - Start));
        Start = End + 2;
    }
    return Lines;
}
