#include "platform/serviceinstall.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

// Runs "systemctl Verb [Unit]"; raises ETarnoError when it fails.
void Systemctl(const char* Verb, const char* Unit = nullptr) {
    std::string Command = std::string("systemctl ") + Verb;
    std::string Words[] = {"systemctl", Verb, Unit != nullptr ? Unit : ""};
    char* Argv[] = {Words[0].data(), Words[1].data(), Unit != nullptr ? Words[2].data() : nullptr,
                    nullptr};
    if (Unit != nullptr) {
        Command += std::string(" ") + Unit;
    }
    pid_t Pid = 0;
    if (posix_spawn(&Pid, "/usr/bin/systemctl", nullptr, nullptr, Argv, environ) != 0) {
        throw ETarnoError("Cannot run systemctl");
    }
    int Status = 0;
    while (waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(Status) || WEXITSTATUS(Status) != 0) {
        throw ETarnoError("\"" + Command + "\" failed");
    }
}

// Text as one double-quoted word of a unit's command line: specifiers ("%") and variables
// ("$") escaped by doubling, quotes, backslashes and control characters by C escapes.
std::string QuotedUnitWord(const std::string& Text) {
    std::string Word = "\"";
    for (const char C : Text) {
        switch (C) {
        case '%':
            Word += "%%";
            break;
        case '$':
            Word += "$$";
            break;
        case '"':
            Word += "\\\"";
            break;
        case '\\':
            Word += "\\\\";
            break;
        default:
            if (static_cast<unsigned char>(C) < 0x20 || C == 0x7f) {
                char Hex[8];
                std::snprintf(Hex, sizeof Hex, "\\x%02x", static_cast<unsigned char>(C));
                Word += Hex;
            } else {
                Word += C;
            }
        }
    }
    return Word + "\"";
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
           "UMask=0022\n"
           "ExecStart=" +
           QuotedUnitWord(ExePath) + " --home " + QuotedUnitWord(Home) +
           "\n"
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
        Systemctl("daemon-reload");
        Systemctl("enable", UnitName);
    }
}

void UninstallServiceUnit(const std::string& UnitDir) {
    const std::string Path = UnitDir + "/" + UnitName;
    if (!FileExists(Path)) {
        throw ETarnoError("The service is not installed (no " + Path + ")");
    }
    const bool Systemd = UseSystemctl(UnitDir);
    if (Systemd) {
        Systemctl("disable", UnitName);
    }
    if (!DeleteFile(Path)) {
        throw ETarnoError("Cannot delete " + Path);
    }
    if (Systemd) {
        Systemctl("daemon-reload");
    }
}

bool SystemdManagesService(const std::string& UnitDir) {
    struct stat St {};
    return UseSystemctl(UnitDir) && stat((UnitDir + "/" + UnitName).c_str(), &St) == 0;
}
