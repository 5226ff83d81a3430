#include "platform/sdnotify.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "common/fdio.h"

bool NotifySocket(const std::string& SocketName, std::string_view State) {
    sockaddr_un Address{};
    if (SocketName.empty() || SocketName.size() >= sizeof Address.sun_path ||
        (SocketName[0] != '/' && SocketName[0] != '@')) {
        return false;
    }
    Address.sun_family = AF_UNIX;
    std::memcpy(Address.sun_path, SocketName.data(), SocketName.size());
    if (SocketName[0] == '@') {
        Address.sun_path[0] = '\0';
    }
    const TFd Socket(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (Socket.Get() < 0) {
        return false;
    }
    const auto Length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + SocketName.size());
    return sendto(Socket.Get(), State.data(), State.size(), MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&Address),
                  Length) == static_cast<ssize_t>(State.size());
}

bool NotifySystemd(std::string_view State) {
    const char* Name = std::getenv("NOTIFY_SOCKET");
    return Name != nullptr && NotifySocket(Name, State);
}
