// Registration of the service with systemd: a unit file "tarno.service", then daemon-reload and
// enable (or disable and removal) when systemd runs the machine.
#pragma once

#include <string>

// The directory of the unit: TARNO_UNIT_DIR when set, else /etc/systemd/system.
std::string ServiceUnitDirectory();

// The unit that runs ExePath --home Home in the foreground under the given display name.
std::string ServiceUnitText(const std::string& DisplayName, const std::string& ExePath,
                            const std::string& Home);

// Writes UnitDir/tarno.service, then, when UnitDir is the system's own and systemd runs,
// "systemctl daemon-reload" and "systemctl enable tarno.service". Raises EOSError when the
// unit cannot be written, ETarnoError when systemctl fails.
void InstallServiceUnit(const std::string& UnitDir, const std::string& UnitText);
// The reverse: "systemctl disable tarno.service" when applicable, removal of the file,
// daemon-reload. Raises ETarnoError when the unit is not installed or cannot be removed.
void UninstallServiceUnit(const std::string& UnitDir);

// Whether the unit is installed in UnitDir and systemd, running the machine, manages it there.
bool SystemdManagesService(const std::string& UnitDir);
