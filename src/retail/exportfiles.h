// Pieces shared by the exports to back-office systems: the keys of their index files, the text
// lines of the files they keep, their error file and the directories of their indexes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"

class TClock;

// The key of a record in an index file: "yyyy/mm/dd hh:nn:ss", or the date alone at exactly
// midnight. Keys compare as bytes in chronological order.
std::string IndexKey(TDateTime Stamp);
// Reads a key ("yyyy/mm/dd", optionally a blank and "hh:nn" or "hh:nn:ss"); false for any other
// text and for 1899-12-30 00:00, the value 0.
bool ParseIndexKey(std::string_view Key, TDateTime& Stamp);

// Binary search of Lines, sorted by KeyOf(line) compared as bytes: true when a line with Key
// exists; Index is the first such line or the insertion point.
template <class TKeyOf>
bool FindSortedKey(const std::vector<std::string>& Lines, std::string_view Key, TKeyOf&& KeyOf,
                   std::size_t& Index) {
    std::size_t Lo = 0;
    std::size_t Hi = Lines.size();
    bool Found = false;
    while (Lo < Hi) {
        const std::size_t Mid = Lo + (Hi - Lo) / 2;
        const int Cmp = std::string_view(KeyOf(Lines[Mid])).compare(Key);
        if (Cmp < 0) {
            Lo = Mid + 1;
        } else {
            Hi = Mid;
            Found = Found || Cmp == 0;
        }
    }
    Index = Lo;
    return Found;
}

// Fields := the TAB-separated fields of Data up to the first empty one, at most 128: the data
// fields of an index line.
void SplitDataFields(std::string_view Data, std::vector<std::string>& Fields);

// The lines of a text file (CR LF, LF or lone CR ends), empty lines left out; a missing file has
// none. Raises EOSError when something is there but cannot be read as a regular file.
std::vector<std::string> ReadTextLines(const std::string& Path);
// Lines joined, each followed by CR LF.
std::string JoinTextLines(const std::vector<std::string>& Lines);

// Creates Dir with every missing level and opens it to everyone. Failures are not reported here:
// the first file operation inside it fails instead.
void PrepareIndexDirectory(const std::string& Dir);
// The "index" subdirectory of OutDir, created (with OutDir when missing) and opened to everyone;
// never a symbolic link, so nothing is written through one planted there. Raises EOSError.
std::string IndexSubdirectory(const std::string& OutDir);

// "dd/mm/yyyy hh:nn:ss" of Now, the stamp of the lines of "ZALMORET.ERR".
std::string ErrorStamp(TDateTime Now);
// Appends the line "<stamp> <Code> <Message>" to "ZALMORET.ERR" in OutDir; never raises.
void AppendCodedError(const std::string& OutDir, int Code, const std::string& Message,
                      TDateTime Now);
// Appends Text to OutDir's "ZALMORET.ERR"; never raises.
void AppendToErrorFile(const std::string& OutDir, const std::string& Text);

// The machine's clock, for the converters the dispatch calls without one.
const TClock& SystemClock();
