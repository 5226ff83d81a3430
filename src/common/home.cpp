#include "common/home.h"

#include <unistd.h>

#include <cstdlib>

namespace {
std::string& HomeDir() {
    static std::string Dir = ".";
    return Dir;
}
} // namespace

std::string FindHome(const std::string& HomeOption) {
    if (!HomeOption.empty()) {
        return HomeOption;
    }
    if (const char* Env = std::getenv("TARNO_HOME"); Env != nullptr && *Env != '\0') {
        return Env;
    }
    return ProgramDirectory();
}

std::string ProgramDirectory() {
    char Buffer[4096];
    const ssize_t N = ::readlink("/proc/self/exe", Buffer, sizeof Buffer - 1);
    if (N <= 0) {
        return ".";
    }
    std::string Exe(Buffer, static_cast<std::size_t>(N));
    const auto Slash = Exe.find_last_of('/');
    return Slash == 0 ? "/" : Exe.substr(0, Slash);
}

void InitHome(const std::string& Dir) {
    std::string Home = Dir.empty() ? "." : Dir;
    while (Home.size() > 1 && Home.back() == '/') {
        Home.pop_back();
    }
    HomeDir() = Home;
    ::setenv("TEMP", Home.c_str(), 1);
    ::setenv("TMP", Home.c_str(), 1);
}

const std::string& ExeDir() {
    return HomeDir();
}
