// Helpers of the export tests: counting data files written from a header and rows.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// A data row of 7 March 2008 (or Date): store "001", the time, the counts.
inline std::string Row(std::string_view Time, std::initializer_list<int> Counts,
                       std::string_view Date = "07/03/2008") {
    std::string Line = "001\t" + std::string(Date) + "\t" + std::string(Time);
    for (const int N : Counts) {
        Line += "\t " + std::to_string(N);
    }
    return Line + "\r\n";
}

// Header (lines ended by CR LF) followed by Rows.
inline std::string Vrk(std::string_view Header, std::initializer_list<std::string> Rows) {
    std::string Text(Header);
    for (const std::string& R : Rows) {
        Text += R;
    }
    return Text;
}
