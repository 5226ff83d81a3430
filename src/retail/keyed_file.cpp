#include "retail/keyed_file.h"

#include <algorithm>
#include <numeric>

#include "common/text.h"
#include "data/vrkcfg.h"
#include "platform/files.h"

namespace {

// Fields 0..Count-1 of Line split at Separator, joined with Joiner.
std::string JoinedFields(std::string_view Line, char Separator, int Count,
                         std::string_view Joiner) {
    std::string_view F[4];
    SplitFields(Line, Separator, F, Count);
    std::string Key;
    for (int I = 0; I < Count; ++I) {
        if (I > 0) {
            Key += Joiner;
        }
        Key += F[I];
    }
    return Key;
}

bool TextLess(const std::string& A, const std::string& B) {
    return LowerCase(A) < LowerCase(B);
}

} // namespace

TKeyedFile::TKeyedFile(std::string Path) : FileName(std::move(Path)) {}

bool TKeyedFile::IsRecordLine(std::string_view /*Line*/) const {
    return true;
}

void TKeyedFile::Load() {
    if (!FileExists(FileName)) {
        return;
    }
    const std::string Text = ReadFileBytes(FileName);
    ForEachTextLine(Text, [this](std::string_view Line) {
        if (Line.empty()) {
            return;
        }
        if (IsRecordLine(Line)) {
            AddRecord(std::string(Line), KeyOf(Line));
        } else {
            HeaderLines.emplace_back(Line);
        }
    });
}

void TKeyedFile::AddRecord(std::string Line, std::string Key) {
    FIndex.emplace(LowerCase(Key), Records.size());
    Records.push_back(std::move(Line));
    Keys.push_back(std::move(Key));
}

void TKeyedFile::Put(std::string_view Line) {
    if (Line.empty()) {
        return;
    }
    std::string Key = KeyOf(Line);
    const auto Found = FIndex.find(LowerCase(Key));
    if (Found == FIndex.end()) {
        AddRecord(std::string(Line), std::move(Key));
    } else {
        Records[Found->second] = Line;
        Keys[Found->second] = std::move(Key);
    }
}

void TKeyedFile::Sort() {
    const TCompare Less = CompareRecords ? CompareRecords : TCompare(&TextLess);
    std::vector<std::size_t> Order(Records.size());
    std::iota(Order.begin(), Order.end(), std::size_t{0});
    std::stable_sort(Order.begin(), Order.end(),
                     [&](std::size_t A, std::size_t B) { return Less(Records[A], Records[B]); });
    std::vector<std::string> SortedRecords, SortedKeys;
    SortedRecords.reserve(Records.size());
    SortedKeys.reserve(Keys.size());
    for (std::size_t I : Order) {
        SortedRecords.push_back(std::move(Records[I]));
        SortedKeys.push_back(std::move(Keys[I]));
    }
    Records.clear();
    Keys.clear();
    FIndex.clear();
    for (std::size_t I = 0; I < SortedRecords.size(); ++I) {
        AddRecord(std::move(SortedRecords[I]), std::move(SortedKeys[I]));
    }
}

void TKeyedFile::Save() {
    const std::string_view LineEnd = UnixLineEnds ? "\n" : "\r\n";
    std::string Text;
    for (const auto* List : {&HeaderLines, &Records}) {
        for (const std::string& Line : *List) {
            Text += Line;
            Text += LineEnd;
        }
    }
    if (FileExists(FileName)) {
        SetAttributesNormal(FileName);
    }
    WriteFileAtomically(FileName, Text);
}

TSoftTouchFile::TSoftTouchFile(std::string Path) : TKeyedFile(std::move(Path)) {
    Load();
}
std::string TSoftTouchFile::KeyOf(std::string_view Line) const {
    return JoinedFields(Line, ',', 4, "");
}

TGenerixFile::TGenerixFile(std::string Path) : TKeyedFile(std::move(Path)) {
    Load();
}
std::string TGenerixFile::KeyOf(std::string_view Line) const {
    return JoinedFields(Line, '\t', 3, "");
}

TOdeisFile::TOdeisFile(std::string Path) : TKeyedFile(std::move(Path)) {
    CompareRecords = &OdeisLess;
    Load();
}
std::string TOdeisFile::KeyOf(std::string_view Line) const {
    return JoinedFields(Line, '\t', 3, "");
}

TXlSoftFile::TXlSoftFile(std::string Path) : TKeyedFile(std::move(Path)) {
    Load();
}
std::string TXlSoftFile::KeyOf(std::string_view Line) const {
    return JoinedFields(Line, ';', 3, ";");
}

bool OdeisLess(const std::string& A, const std::string& B) {
    std::string_view FA[3], FB[3];
    SplitFields(A, '\t', FA, 3);
    SplitFields(B, '\t', FB, 3);
    if (FA[0] != FB[0]) {
        return FA[0] < FB[0];
    }
    // Year (characters 7-10), month (4-5), day (1-2) of "dd/mm/yyyy", each compared as text.
    constexpr std::pair<std::size_t, std::size_t> Parts[] = {{6, 4}, {3, 2}, {0, 2}};
    for (const auto& [From, Count] : Parts) {
        const std::string_view PA = FA[1].substr(std::min(From, FA[1].size()), Count);
        const std::string_view PB = FB[1].substr(std::min(From, FB[1].size()), Count);
        if (PA != PB) {
            return PA < PB;
        }
    }
    return FA[2] < FB[2];
}
