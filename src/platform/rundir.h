// The run directory of the service: its pidfile, held under a lock for the whole life of the
// service, and its sockets. One service per run directory.
#pragma once

#include <string>

// The run directory: Option when given, else TARNO_RUNDIR, else /run/tarno for root, else
// $XDG_RUNTIME_DIR/tarno, else /tmp/tarno-<uid>.
std::string FindRunDirectory(const std::string& Option);
// The run directory a client looks in: Option or TARNO_RUNDIR when given, else /run/tarno when
// it exists, else FindRunDirectory("").
std::string FindClientRunDirectory(const std::string& Option);

// "tarno.pid" in the run directory, locked while this object lives.
class TPidFile {
public:
    // Creates RunDir when missing, locks the pidfile and writes the process id into it.
    // Raises ETarnoError "Tarno service is already running (pid N, run directory DIR)" when
    // another process holds it, EOSError when the directory or file cannot be created.
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
