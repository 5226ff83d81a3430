// Helpers of the transform tests: fixtures beside the tests, and the lines of a written file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "testing/file_lines.h"

// The content of a fixture of the testdata folder beside this header.
inline std::string Fixture(const std::string& Name) {
    const std::string Here = __FILE__;
    return ReadFileBytes(Here.substr(0, Here.find_last_of('/') + 1) + "testdata/" + Name);
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
