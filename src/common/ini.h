// INI files with the semantics of the Windows profile functions: sections and keys matched
// without regard to ASCII case, values trimmed (and a pair of enclosing quotes removed), the first
// occurrence of a section or key wins, a missing file reads as empty. Lines end with CR LF, LF or
// a lone CR; lines starting with ";" are comments. Writes change the file key by key in memory,
// keeping every other line (unknown keys, comments, blank lines) as it stands: the first
// occurrence of a key becomes "Key=Value", a new key goes after the last non-blank line of its
// section, a new section "[Name]" at the end after one blank line. UpdateFile saves the whole
// text atomically with CR LF line ends.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TIniFile {
public:
    // Reads FileName; a missing file gives an empty INI. Raises EOSError "Cannot open file
    // \"<FileName>\". <message>" for a file that exists but cannot be read.
    explicit TIniFile(std::string FileName);
    // An INI held only in memory (FileName "", UpdateFile saves nothing) from the given text.
    static TIniFile FromText(std::string_view Text);

    const std::string& FileName() const { return FFileName; }

    std::string ReadString(std::string_view Section, std::string_view Key,
                           std::string_view Default) const;
    // Decimal, or hexadecimal after "0x" or "$"; a missing key or a value that is not a 32-bit
    // integer gives Default.
    int ReadInteger(std::string_view Section, std::string_view Key, int Default) const;
    // ReadInteger(Key, Default ? 1 : 0) != 0.
    bool ReadBool(std::string_view Section, std::string_view Key, bool Default) const;
    // A real with "." as decimal separator; missing or malformed gives Default.
    double ReadFloat(std::string_view Section, std::string_view Key, double Default) const;

    void WriteString(std::string_view Section, std::string_view Key, std::string_view Value);
    void WriteInteger(std::string_view Section, std::string_view Key, int Value);
    void WriteBool(std::string_view Section, std::string_view Key, bool Value); // "1" / "0"

    bool SectionExists(std::string_view Section) const;
    bool ValueExists(std::string_view Section, std::string_view Key) const;
    // Section names and the keys of a section in file order, each name once.
    std::vector<std::string> ReadSections() const;
    std::vector<std::string> ReadSection(std::string_view Section) const;
    // Remove every section of that name / every line of Key in the section's first occurrence.
    void EraseSection(std::string_view Section);
    void DeleteKey(std::string_view Section, std::string_view Key);

    // The whole file as it would be saved (CR LF line ends).
    std::string GetText() const;
    // Saves to FileName atomically when anything was changed since it was read or saved;
    // raises EOSError when the file cannot be written.
    void UpdateFile();
    bool Modified() const { return FModified; }

private:
    TIniFile() = default;
    void Parse(std::string_view Text);

    struct TSection {
        std::string Name;               // as written between the brackets
        std::string Header;             // the section line as it stands
        std::vector<std::string> Lines; // every line after the header, up to the next section
    };
    const TSection* FindSection(std::string_view Section) const;
    TSection* FindSection(std::string_view Section);

    std::string FFileName;
    std::vector<std::string> FPreamble; // lines before the first section
    std::vector<TSection> FSections;
    bool FModified = false;
};
