// The counting index of the ACE export: one record per hour, written out as the line
// "dd/mm/yyyy<TAB>hh<TAB>entries" of an output file kept sorted by date and hour.
#pragma once

#include "retail/counting_index.h"

// Output lines found and kept in order by their date and hour (yyyymmddhh taken from the
// positions of "dd/mm/yyyy<TAB>hh").
class TAceOutputList : public TOutputList {
public:
    bool Find(std::string_view S, std::size_t& Index) const override;
};

// Holds the newest hour back for 60 minutes.
class TAceIndex : public TCountingIndex {
public:
    explicit TAceIndex(const std::string& Directory, const std::string& IndexFileName = "");

protected:
    std::unique_ptr<TOutputList> CreateOutputList() override;
    std::string FormatLine(const TCustomFields& Fields, TDateTime Stamp) const override;
};
