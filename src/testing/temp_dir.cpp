#include "testing/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TTempDir::TTempDir() {
    std::string Templ = (std::filesystem::temp_directory_path() / "tarno-test-XXXXXX").string();
    if (::mkdtemp(Templ.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    FDir = Templ;
}

TTempDir::~TTempDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(FDir, Ignored);
}

std::string TTempDir::Path(std::string_view Name) const {
    return Name.empty() ? FDir : FDir + "/" + std::string(Name);
}

std::string TTempDir::Write(std::string_view Name, std::string_view Bytes) const {
    const std::filesystem::path P = Path(Name);
    std::filesystem::create_directories(P.parent_path());
    std::ofstream Out(P, std::ios::binary | std::ios::trunc);
    Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    return P.string();
}

std::string TTempDir::Read(std::string_view Name) const {
    std::ifstream In(Path(Name), std::ios::binary);
    std::ostringstream S;
    S << In.rdbuf();
    return S.str();
}
