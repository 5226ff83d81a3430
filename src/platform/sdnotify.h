// Readiness and status messages to systemd through the socket named by NOTIFY_SOCKET.
#pragma once

#include <string>
#include <string_view>

// Sends State (lines such as "READY=1" or "STATUS=...") to the socket SocketName ("@" at the
// start names an abstract socket). False when the name is empty or the message cannot be sent.
bool NotifySocket(const std::string& SocketName, std::string_view State);
// NotifySocket with the value of the environment variable NOTIFY_SOCKET.
bool NotifySystemd(std::string_view State);
