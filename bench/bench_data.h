// Counting data of the benchmarks: the column headings and 96 quarter-hour rows of one day.
#pragma once

#include <string>

#include "common/datetime.h"
#include "common/text.h"

// The headings and rows of store "001" on Date, Channels counts each; Index varies the counts.
inline std::string CountingRows(int Index, TDateTime Date, int Channels) {
    std::string Text = "Magasin \tDate \tHeure \t CANALS\t\t\t\r\n\t\t\tCNL1\tCNL2\tCNL3\tCNL4\r\n";
    const TDateParts P = DecodeDate(Date);
    for (int S = 0; S < 96; ++S) {
        Text += Format("001\t%2.2d/%2.2d/%4.4d\t%2.2d:%2.2d", P.Day, P.Month, P.Year, S / 4,
                       (S % 4) * 15);
        for (int C = 0; C < Channels; ++C) {
            Text += Format("\t %d", (Index * 7 + S * 13 + C * 3) % 97);
        }
        Text += "\r\n";
    }
    return Text;
}
