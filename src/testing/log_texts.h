// The texts of the lines of a log file, without their date and time stamps.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> LogLineTexts(const std::string& Log) {
    std::vector<std::string> Texts;
    for (size_t Pos = 0, End = 0; Pos < Log.size(); Pos = End + 2) {
        End = Log.find("\r\n", Pos);
        const std::string Line = Log.substr(Pos, End - Pos);
        Texts.push_back(Line.substr(Line.find('\t') + 1));
    }
    return Texts;
}
