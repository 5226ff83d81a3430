// The far end of the bridge to another machine ("tarnoctl bridge", run there by ssh): framed
// messages read from In are sent to that machine's sockets and each answer is written to Out as
// a frame, or an error frame when the socket could not be reached. "REQGETCONFIG" and
// "REQSETCONFIG" go to the control socket, every other request to the info socket.
#pragma once

#include <string>

class TMessageTransport;

// Runs until In ends. Answers 0 when it ended between two frames; 1 with Error set for a
// truncated or oversized frame or when Out cannot be written.
int RunBridge(int In, int Out, TMessageTransport& Local, int TimeoutMs, std::string& Error);
