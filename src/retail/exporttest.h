// Helpers of the export tests: counting data files written from a header and rows.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The counting data file of the keyed-file export tests: doors 1 and 2 are entrances, door 3 a
// corridor; channels 1/2 count in/out at door 1, 3/4 at door 2, 5/6 at door 3, channel 7 is
// inactive. Halving: the "#R" digits of channels 1 to 16. Rows: "hh:nn\t c1\t c2 ..." lines of the
// day dd/mm/yyyy.
inline std::string CountingFile(const std::string& Date, const std::string& Rows,
                                const std::string& Halving = "1111111111111111") {
    std::string Text = "#TKT9\r\n# Shop name: Test\r\n#D1DNord\r\n#D2DSud\r\n#D3CCouloir\r\n"
                       "#C1YE1\r\n#C2YX1\r\n#C3YE2\r\n#C4YX2\r\n#C5YE3\r\n#C6YX3\r\n#C7IE1\r\n"
                       "#R" +
                       Halving +
                       "\r\n#K1.000\r\n#F0\r\n#S\r\nMagasin \tDate \tHeure \t CANALS\r\n" +
                       "\t\t\tCNL1\tCNL2\tCNL3\tCNL4\r\n";
    std::size_t Start = 0;
    while (Start < Rows.size()) {
        std::size_t End = Rows.find('\n', Start);
        if (End == std::string::npos) {
            End = Rows.size();
        }
        Text += "001\t" + Date + "\t" + Rows.substr(Start, End - Start) + "\r\n";
        Start = End + 1;
    }
    return Text;
}

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
