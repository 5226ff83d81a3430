#include "retail/ace_index.h"

#include "common/text.h"
#include "retail/exportfiles.h"

namespace {

std::string HourKey(std::string_view Line) {
    return CopyText(Line, 7, 4) + CopyText(Line, 4, 2) + CopyText(Line, 1, 2) +
           CopyText(Line, 12, 2);
}

} // namespace

bool TAceOutputList::Find(std::string_view S, std::size_t& Index) const {
    return FindSortedKey(Lines, HourKey(S), HourKey, Index);
}

TAceIndex::TAceIndex(const std::string& Directory, const std::string& IndexFileName)
    : TCountingIndex(Directory, IndexFileName) {
    DelayMinutes = 60;
}

std::unique_ptr<TOutputList> TAceIndex::CreateOutputList() {
    return std::make_unique<TAceOutputList>();
}

std::string TAceIndex::FormatLine(const TCustomFields& Fields, TDateTime Stamp) const {
    const TDateParts D = DecodeDate(Stamp);
    std::string Line =
        Format("%2.2d/%2.2d/%4.4d\t%2.2d\t", D.Day, D.Month, D.Year, DecodeTime(Stamp).Hour);
    if (!Fields.empty()) {
        Line += Fields[0];
    }
    return Line;
}
