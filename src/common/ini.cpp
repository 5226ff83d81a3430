#include "common/ini.h"

#include <cerrno>
#include <cstdint>
#include <optional>

#include "common/errors.h"
#include "common/text.h"
#include "platform/files.h"

namespace {

std::vector<std::string> SplitLines(std::string_view Text) {
    std::vector<std::string> Lines;
    std::size_t Start = 0;
    std::size_t I = 0;
    while (I < Text.size()) {
        if (Text[I] == '\r' || Text[I] == '\n') {
            Lines.emplace_back(Text.substr(Start, I - Start));
            if (Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') {
                ++I;
            }
            Start = I + 1;
        }
        ++I;
    }
    if (Start < Text.size()) {
        Lines.emplace_back(Text.substr(Start));
    }
    return Lines;
}

// The name of a section line "[Name]" (blanks around the line and the name ignored).
std::optional<std::string> SectionOfLine(std::string_view Line) {
    const std::string Trimmed = Trim(Line);
    if (Trimmed.empty() || Trimmed.front() != '[') {
        return std::nullopt;
    }
    const std::size_t Close = Trimmed.find(']');
    if (Close == std::string::npos) {
        return std::nullopt;
    }
    return Trim(std::string_view(Trimmed).substr(1, Close - 1));
}

// The key of a line "Key=Value"; comment lines and lines without "=" have none.
std::optional<std::string> KeyOfLine(std::string_view Line) {
    const std::string Trimmed = TrimLeft(Line);
    if (Trimmed.empty() || Trimmed.front() == ';') {
        return std::nullopt;
    }
    const std::size_t Equal = Trimmed.find('=');
    if (Equal == std::string::npos) {
        return std::nullopt;
    }
    std::string Key = Trim(std::string_view(Trimmed).substr(0, Equal));
    if (Key.empty()) {
        return std::nullopt;
    }
    return Key;
}

std::string ValueOfLine(std::string_view Line) {
    std::string Value = Trim(Line.substr(Line.find('=') + 1));
    if (Value.size() >= 2 && (Value.front() == '"' || Value.front() == '\'') &&
        Value.back() == Value.front()) {
        Value = Value.substr(1, Value.size() - 2);
    }
    return Value;
}

// Index of the first line of Lines holding Key, or -1.
long FindKey(const std::vector<std::string>& Lines, std::string_view Key) {
    for (std::size_t I = 0; I < Lines.size(); ++I) {
        const auto LineKey = KeyOfLine(Lines[I]);
        if (LineKey && SameText(*LineKey, Key)) {
            return static_cast<long>(I);
        }
    }
    return -1;
}

std::optional<int32_t> ParseHex(std::string_view Digits) {
    if (Digits.empty() || Digits.size() > 8) {
        return std::nullopt;
    }
    uint32_t Value = 0;
    for (char C : Digits) {
        uint32_t Digit = 0;
        if (C >= '0' && C <= '9') {
            Digit = static_cast<uint32_t>(C - '0');
        } else if (C >= 'a' && C <= 'f') {
            Digit = static_cast<uint32_t>(C - 'a' + 10);
        } else if (C >= 'A' && C <= 'F') {
            Digit = static_cast<uint32_t>(C - 'A' + 10);
        } else {
            return std::nullopt;
        }
        Value = Value * 16 + Digit;
    }
    if (Value > static_cast<uint32_t>(INT32_MAX)) {
        return std::nullopt;
    }
    return static_cast<int32_t>(Value);
}

} // namespace

TIniFile::TIniFile(std::string FileName) : FFileName(std::move(FileName)) {
    std::string Bytes;
    if (TryReadFileBytes(FFileName, Bytes)) {
        Parse(Bytes);
        return;
    }
    // Only a file that is not there reads as empty: one that cannot be read must not load as
    // the defaults without a word.
    const int Error = errno;
    if (Error != ENOENT && Error != ENOTDIR) {
        throw EOSError("Cannot open file \"" + FFileName + "\". " + SysErrorMessage(Error));
    }
}

TIniFile TIniFile::FromText(std::string_view Text) {
    TIniFile Ini;
    Ini.Parse(Text);
    return Ini;
}

void TIniFile::Parse(std::string_view Text) {
    for (std::string& Line : SplitLines(Text)) {
        if (auto Name = SectionOfLine(Line)) {
            FSections.push_back(TSection{std::move(*Name), std::move(Line), {}});
        } else if (FSections.empty()) {
            FPreamble.push_back(std::move(Line));
        } else {
            FSections.back().Lines.push_back(std::move(Line));
        }
    }
}

const TIniFile::TSection* TIniFile::FindSection(std::string_view Section) const {
    for (const TSection& S : FSections) {
        if (SameText(S.Name, Section)) {
            return &S;
        }
    }
    return nullptr;
}

TIniFile::TSection* TIniFile::FindSection(std::string_view Section) {
    return const_cast<TSection*>(std::as_const(*this).FindSection(Section));
}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Key,
                                 std::string_view Default) const {
    const TSection* S = FindSection(Section);
    if (S == nullptr) {
        return std::string(Default);
    }
    const long Index = FindKey(S->Lines, Key);
    if (Index < 0) {
        return std::string(Default);
    }
    return ValueOfLine(S->Lines[static_cast<std::size_t>(Index)]);
}

int TIniFile::ReadInteger(std::string_view Section, std::string_view Key, int Default) const {
    const std::string Value = ReadString(Section, Key, "");
    std::optional<int32_t> Result;
    if (StartsWithText(Value, "0x")) {
        Result = ParseHex(std::string_view(Value).substr(2));
    } else if (StartsWithText(Value, "$")) {
        Result = ParseHex(std::string_view(Value).substr(1));
    } else {
        Result = TryStrToInt(Value);
    }
    return Result.value_or(Default);
}

bool TIniFile::ReadBool(std::string_view Section, std::string_view Key, bool Default) const {
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

double TIniFile::ReadFloat(std::string_view Section, std::string_view Key, double Default) const {
    return TryStrToFloat(ReadString(Section, Key, "")).value_or(Default);
}

namespace {

// Value as written after "=": between double quotes when reading it plainly would change it
// (blanks or control bytes at either end, which reading trims, or quotes around it, which reading
// takes off); reading takes those quotes off again.
std::string ValueText(std::string_view Value) {
    const bool TrimmedWhenRead = TrimView(Value).size() != Value.size();
    const bool QuotedWhenRead = Value.size() >= 2 &&
                                (Value.front() == '"' || Value.front() == '\'') &&
                                Value.back() == Value.front();
    if (TrimmedWhenRead || QuotedWhenRead) {
        return "\"" + std::string(Value) + "\"";
    }
    return std::string(Value);
}

} // namespace

void TIniFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value) {
    std::string Line = std::string(Key) + "=" + ValueText(Value);
    TSection* S = FindSection(Section);
    if (S == nullptr) {
        // A new section is set off from the text before it by one blank line.
        std::vector<std::string>& Last = FSections.empty() ? FPreamble : FSections.back().Lines;
        const bool HasText = !FSections.empty() || !FPreamble.empty();
        if (HasText && (Last.empty() || !Trim(Last.back()).empty())) {
            Last.emplace_back();
        }
        FSections.push_back(TSection{std::string(Section), "[" + std::string(Section) + "]", {}});
        FSections.back().Lines.push_back(std::move(Line));
        FModified = true;
        return;
    }
    const long Index = FindKey(S->Lines, Key);
    if (Index >= 0) {
        std::string& Old = S->Lines[static_cast<std::size_t>(Index)];
        if (Old != Line) {
            Old = std::move(Line);
            FModified = true;
        }
        return;
    }
    std::size_t After = S->Lines.size();
    while (After > 0 && Trim(S->Lines[After - 1]).empty()) {
        --After;
    }
    S->Lines.insert(S->Lines.begin() + static_cast<std::ptrdiff_t>(After), std::move(Line));
    FModified = true;
}

void TIniFile::WriteInteger(std::string_view Section, std::string_view Key, int Value) {
    WriteString(Section, Key, std::to_string(Value));
}

void TIniFile::WriteBool(std::string_view Section, std::string_view Key, bool Value) {
    WriteString(Section, Key, Value ? "1" : "0");
}

bool TIniFile::SectionExists(std::string_view Section) const {
    return FindSection(Section) != nullptr;
}

bool TIniFile::ValueExists(std::string_view Section, std::string_view Key) const {
    const TSection* S = FindSection(Section);
    return S != nullptr && FindKey(S->Lines, Key) >= 0;
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> Names;
    for (const TSection& S : FSections) {
        if (FindSection(S.Name) == &S) {
            Names.push_back(S.Name);
        }
    }
    return Names;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view Section) const {
    std::vector<std::string> Keys;
    const TSection* S = FindSection(Section);
    if (S == nullptr) {
        return Keys;
    }
    for (std::size_t I = 0; I < S->Lines.size(); ++I) {
        const auto Key = KeyOfLine(S->Lines[I]);
        if (Key && FindKey(S->Lines, *Key) == static_cast<long>(I)) {
            Keys.push_back(*Key);
        }
    }
    return Keys;
}

void TIniFile::EraseSection(std::string_view Section) {
    for (auto It = FSections.begin(); It != FSections.end();) {
        if (SameText(It->Name, Section)) {
            It = FSections.erase(It);
            FModified = true;
        } else {
            ++It;
        }
    }
}

void TIniFile::DeleteKey(std::string_view Section, std::string_view Key) {
    TSection* S = FindSection(Section);
    if (S == nullptr) {
        return;
    }
    for (long Index = FindKey(S->Lines, Key); Index >= 0; Index = FindKey(S->Lines, Key)) {
        S->Lines.erase(S->Lines.begin() + Index);
        FModified = true;
    }
}

std::string TIniFile::GetText() const {
    std::string Text;
    const auto Add = [&Text](const std::string& Line) {
        Text += Line;
        Text += "\r\n";
    };
    for (const std::string& Line : FPreamble) {
        Add(Line);
    }
    for (const TSection& S : FSections) {
        Add(S.Header);
        for (const std::string& Line : S.Lines) {
            Add(Line);
        }
    }
    return Text;
}

void TIniFile::UpdateFile() {
    if (!FModified || FFileName.empty()) {
        return;
    }
    WriteFileAtomically(FFileName, GetText());
    FModified = false;
}
