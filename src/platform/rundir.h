// The run directory of the service: its pidfile, held under a lock for the whole life of the
// service, and its sockets. One service per run directory.
#pragma once

#include <string>

// The run directory: Option when given, else TARNO_RUNDIR, else /run/tarno for root, else
// $XDG_RUNTIME_DIR/tarno, else /tmp/tarno-<uid>.
std::string FindRunDirectory(const std::string& Option);
// The run directory a client looks in: Option or TARNO_RUNDIR when given, else /run/tarno when
// the service's socket ZirInfo is there, else FindRunDirectory("").
std::string FindClientRunDirectory(const std::string& Option);

// "tarno.pid" in the run directory, locked while this object lives.
class TPidFile {
public:
    // Creates RunDir when missing (0755; 0700 when its parent is writable by everyone, as /tmp),
    // locks the pidfile and writes the process id into it. In such a shared parent RunDir must
    // be a real directory owned by this account and not writable by others, else ETarnoError
    // "Run directory \"DIR\" is a symbolic link, not a directory of this account" (or "is owned
    // by another account ...", "is writable by other accounts"). Raises ETarnoError "Tarno
    // service is already running (pid N, run directory DIR)" when another process holds it,
    // EOSError when the directory or file cannot be created.
    explicit TPidFile(const std::string& RunDir);
    ~TPidFile();
    TPidFile(const TPidFile&) = delete;
    TPidFile& operator=(const TPidFile&) = delete;

    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
    int FFd = -1;
};

// The process id of the service holding the pidfile of RunDir, or 0 when none does.
int RunningServicePid(const std::string& RunDir);
