#include "platform/serviceinstall.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "common/errors.h"
#include "platform/files.h"

extern char** environ;

namespace {

const char* const SystemUnitDir = "/etc/systemd/system";
const char* const UnitName = "tarno.service";

// systemctl is only asked when the unit lies where systemd looks and systemd runs the machine.
bool UseSystemctl(const std::string& UnitDir) {
    struct stat St {};
    return UnitDir == SystemUnitDir && stat("/run/systemd/system", &St) == 0 &&
           access("/usr/bin/systemctl", X_OK) == 0;
}

void Systemctl(std::vector<std::string> Args) {
    Args.insert(Args.begin(), "systemctl");
    std::vector<char*> Argv;
    for (std::string& A : Args) {
        Argv.push_back(A.data());
    }
    Argv.push_back(nullptr);
    pid_t Pid = 0;
    if (posix_spawn(&Pid, "/usr/bin/systemctl", nullptr, nullptr, Argv.data(), environ) != 0) {
        throw ETarnoError("Cannot run systemctl");
    }
    int Status = 0;
    while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0) {
        std::string Command;
        for (size_t I = 0; I + 1 < Argv.size(); ++I) {
            Command += (I > 0 ? " " : "") + Args[I];
        }
        throw ETarnoError("\"" + Command + "\" failed");
    }
}

} // namespace

std::string ServiceUnitDirectory() {
    const char* Dir = std::getenv("TARNO_UNIT_DIR");
    return Dir != nullptr && *Dir != '\0' ? Dir : SystemUnitDir;
}

std::string ServiceUnitText(const std::string& DisplayName, const std::string& ExePath,
                            const std::string& Home) {
    return "[Unit]\n"
           "Description=" +
           DisplayName +
           "\n"
           "After=local-fs.target network.target\n"
           "\n"
           "[Service]\n"
           "Type=notify\n"
           "NotifyAccess=main\n"
           "ExecStart=\"" +
           ExePath + "\" --home \"" + Home +
           "\"\n"
           "TimeoutStartSec=10\n"
           "TimeoutStopSec=10\n"
           "KillMode=mixed\n"
           "\n"
           "[Install]\n"
           "WantedBy=multi-user.target\n";
}

void InstallServiceUnit(const std::string& UnitDir, const std::string& UnitText) {
    ForceDirectories(UnitDir);
    WriteFileAtomically(UnitDir + "/" + UnitName, UnitText);
    if (UseSystemctl(UnitDir)) {
        Systemctl({"daemon-reload"});
        Systemctl({"enable", UnitName});
    }
}

void UninstallServiceUnit(const std::string& UnitDir) {
    const std::string Path = UnitDir + "/" + UnitName;
    if (!FileExists(Path)) {
        throw ETarnoError("The service is not installed (no " + Path + ")");
    }
    const bool Systemd = UseSystemctl(UnitDir);
    if (Systemd) {
        Systemctl({"disable", UnitName});
    }
    if (!DeleteFile(Path)) {
        throw ETarnoError("Cannot delete " + Path);
    }
    if (Systemd) {
        Systemctl({"daemon-reload"});
    }
}
