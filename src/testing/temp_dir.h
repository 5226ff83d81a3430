// A real temporary directory for a test, removed with everything in it when the test ends.
#pragma once

#include <string>
#include <string_view>

class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Dir() const { return FDir; }
    // Dir + "/" + Name ("" gives the directory itself).
    std::string Path(std::string_view Name) const;
    // Writes Bytes to Name (subdirectories created) and returns its path.
    std::string Write(std::string_view Name, std::string_view Bytes) const;
    // The content of Name ("" when it cannot be read).
    std::string Read(std::string_view Name) const;

private:
    std::string FDir;
};
