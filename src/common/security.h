// Access rights of the files and directories the system creates: they are shared with every
// local user, so that the console, the back-office programs and the service can all work in them.
#pragma once

#include <string>

// Adds read and write access for the group and for others to the file or directory Path, and
// search access on a directory. A symbolic link is never followed. Answers false when Path does
// not exist, is not a regular file or a directory, or its mode cannot be changed.
bool GrantEveryoneAccess(const std::string& Path);
