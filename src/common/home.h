// The home of the programs: the directory that holds the configuration, the log and the files
// served to the console. Set once at process start.
#pragma once

#include <string>

// The home without trailing "/": the --home option when given, else the environment variable
// TARNO_HOME, else the directory of the running executable.
std::string FindHome(const std::string& HomeOption);

// The directory of the running executable ("." when it cannot be found).
std::string ProgramDirectory();

// Makes Dir the home (a trailing "/" is dropped) and sets the process's TEMP and TMP to it.
void InitHome(const std::string& Dir);

// The home set by InitHome ("." before).
const std::string& ExeDir();
