// Helpers of the transform tests: fixtures beside the tests, and the lines of a written file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"

// The content of a fixture of the testdata folder beside this header.
inline std::string Fixture(const std::string& Name) {
    const std::string Here = __FILE__;
    return ReadFileBytes(Here.substr(0, Here.find_last_of('/') + 1) + "testdata/" + Name);
}

// The lines of a file written with CR LF line ends; a line without one fails the test.
inline std::vector<std::string> FileLines(const std::string& Path) {
    const std::string Text = ReadFileBytes(Path);
    std::vector<std::string> Lines;
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

// The data rows of a counting file: the lines after the second column heading.
inline std::vector<std::string> DataRows(const std::string& Path) {
    std::vector<std::string> Lines = FileLines(Path);
    for (std::size_t I = 0; I < Lines.size(); ++I) {
        if (Lines[I].rfind("\t\t\tCNL1", 0) == 0) {
            return std::vector<std::string>(Lines.begin() + static_cast<std::ptrdiff_t>(I) + 1,
                                            Lines.end());
        }
    }
    ADD_FAILURE() << "no column headings in " << Path;
    return {};
}

// The header lines of a counting file without its update stamp and signature (which change
// with the time of writing and the rows).
inline std::vector<std::string> StableHeader(const std::string& Path) {
    std::vector<std::string> Result;
    for (const std::string& Line : FileLines(Path)) {
        if (Line.rfind("Magasin", 0) == 0) {
            break;
        }
        if (Line.rfind("#M", 0) != 0 && Line.rfind("#S", 0) != 0) {
            Result.push_back(Line);
        }
    }
    return Result;
}
