// The process's memory as the system sees it.
#pragma once

// Hands the heap's free pages back to the system, so that a process that needed much memory for
// a while shrinks again once it is idle. Does nothing where the C library offers no way to.
void ReleaseFreeMemory();
