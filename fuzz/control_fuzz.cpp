// The request decoders of the service's sockets, fed through real sockets to the servers the
// service runs: the first byte picks the control server or the info server, each message of the
// rest (split at "~~~~") sent as one request on one connection; or the rest sent as the byte
// stream of a framed connection (each message after its length). Every answer must be a whole
// message of a known name, and the configuration a client reads is the last one it set.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"
#include "common/datetime.h"
#include "fuzz_dir.h"
#include "pipe/ft_control.h"
#include "platform/files.h"
#include "platform/transport.h"
#include "still_clock.h"

namespace {

void Trap(bool Failed) {
    if (Failed) {
        __builtin_trap();
    }
}

sockaddr_un AddressOf(const std::string& Path) {
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    Trap(Path.size() >= sizeof(Address.sun_path));
    std::memcpy(Address.sun_path, Path.data(), Path.size());
    return Address;
}

// send, recv and connect again when interrupted (libFuzzer's timer signal comes once a second).
ssize_t Send(int Fd, std::string_view Bytes) {
    ssize_t N;
    do {
        N = send(Fd, Bytes.data(), Bytes.size(), MSG_NOSIGNAL);
    } while (N < 0 && errno == EINTR);
    return N;
}

ssize_t Receive(int Fd, char* Buffer, size_t Size) {
    ssize_t N;
    do {
        N = recv(Fd, Buffer, Size, 0);
    } while (N < 0 && errno == EINTR);
    return N;
}

int Connect(const std::string& Path, int Type) {
    const int Fd = socket(AF_UNIX, Type | SOCK_CLOEXEC, 0);
    const sockaddr_un Address = AddressOf(Path);
    int Rc;
    do {
        Rc = connect(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address));
    } while (Rc != 0 && errno == EINTR);
    Trap(Fd < 0 || (Rc != 0 && errno != EISCONN));
    return Fd;
}

struct TServers {
    std::string Dir;
    std::string ConfigFile;
    std::string FramedPath;
    TStillClock Clock;
    TRorozoraSrvInfo Info;
    TRorozoraSrvControl Control;

    TServers()
        : Dir(MakeFuzzDirectory("control")), ConfigFile(Dir + "/tarno.ini"),
          FramedPath(Dir + "/framed"), Info(Dir + "/" + InfoPipeName, InfoPipeInstances, Clock),
          Control(Dir + "/" + ControlPipeName, ConfigFile, ControlPipeInstances, Clock) {
        // The framed connections of the info server, on a stream socket of the same kind the
        // TCP listener gives it.
        const int Listener = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        const sockaddr_un Address = AddressOf(FramedPath);
        Trap(Listener < 0 ||
             bind(Listener, reinterpret_cast<const sockaddr*>(&Address), sizeof(Address)) != 0 ||
             listen(Listener, 16) != 0);
        Info.AddTcpListener(Listener);
        Info.OnFillStatistics = [](char* Record) {
            TRorozoraSrvStats Stats;
            CopyStatusText(Stats.LastEventText, "fuzz");
            EncodeSrvStats(Stats, Record);
        };
        Info.Start();
        Control.Start();
    }
};

TServers& Servers() {
    static TServers S;
    return S;
}

// An answer must be a whole message with a known name. Returns its error and data.
void CheckAnswer(std::string_view Answer, int32_t& Error, std::string_view& Data) {
    Trap(Answer.size() < MessageHeaderSize);
    const TPipeMessageHeader Header = DecodeMessageHeader(Answer.data());
    Trap(Header.DataLength < 0 ||
         Answer.size() != MessageHeaderSize + static_cast<size_t>(Header.DataLength));
    bool Known = false;
    for (const char* Name : {AnsGetStats, AnsGetConfig, AnsSetConfig, AnsReqUnknown}) {
        Known = Known || MessageNameIs(Answer.data(), Name);
    }
    Trap(!Known);
    Error = Header.Error;
    Data = Answer.substr(MessageHeaderSize);
}

// Each message on the server's connection; a refused message closes it and the next one opens
// another.
void SendMessages(const std::string& Path, std::string_view Rest) {
    std::vector<std::string_view> Messages;
    for (;;) {
        const size_t Split = Rest.find("~~~~");
        Messages.push_back(Rest.substr(0, Split));
        if (Split == std::string_view::npos) {
            break;
        }
        Rest.remove_prefix(Split + 4);
    }
    std::string Config = "[General]\r\n";
    WriteFileAtomically(Servers().ConfigFile, Config);
    std::vector<char> Buffer(PipeBufferSize + 1);
    int Fd = -1;
    for (const std::string_view Message : Messages) {
        if (Fd < 0) {
            Fd = Connect(Path, SOCK_SEQPACKET);
        }
        if (Send(Fd, Message) != static_cast<ssize_t>(Message.size())) {
            close(Fd);
            Fd = -1;
            continue;
        }
        const ssize_t N = Receive(Fd, Buffer.data(), Buffer.size());
        if (N <= 0) {
            // Refused (longer than a message, or empty) and disconnected.
            Trap(Message.size() <= PipeBufferSize && !Message.empty());
            close(Fd);
            Fd = -1;
            continue;
        }
        int32_t Error = 0;
        std::string_view Data;
        const std::string_view Answer(Buffer.data(), static_cast<size_t>(N));
        CheckAnswer(Answer, Error, Data);
        if (MessageNameIs(Answer.data(), AnsSetConfig) && Error == 0) {
            const int32_t Length = DecodeMessageHeader(Message.data()).DataLength;
            Config = std::string(Message.substr(MessageHeaderSize, static_cast<size_t>(Length)));
        }
        if (MessageNameIs(Answer.data(), AnsGetConfig) && Error == 0) {
            Trap(Data != Config);
        }
    }
    if (Fd >= 0) {
        close(Fd);
    }
}

// The bytes as one framed stream; every answer that comes back is a whole frame.
void SendStream(std::string_view Bytes) {
    const int Fd = Connect(Servers().FramedPath, SOCK_STREAM);
    while (!Bytes.empty()) {
        const ssize_t N = Send(Fd, Bytes);
        if (N <= 0) {
            break; // disconnected by the server
        }
        Bytes.remove_prefix(static_cast<size_t>(N));
    }
    shutdown(Fd, SHUT_WR);
    std::string Answers;
    char Buffer[4096];
    for (;;) {
        const ssize_t N = Receive(Fd, Buffer, sizeof(Buffer));
        if (N <= 0) {
            break;
        }
        Answers.append(Buffer, static_cast<size_t>(N));
    }
    close(Fd);
    std::string_view Rest = Answers;
    while (!Rest.empty()) {
        Trap(Rest.size() < FrameHeaderSize);
        const uint32_t Length = FrameLength(Rest.data());
        Trap(Rest.size() - FrameHeaderSize < Length);
        int32_t Error = 0;
        std::string_view Data;
        CheckAnswer(Rest.substr(FrameHeaderSize, Length), Error, Data);
        Rest.remove_prefix(FrameHeaderSize + Length);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) {
        return 0;
    }
    const std::string_view Rest(reinterpret_cast<const char*>(Data) + 1, Size - 1);
    switch (Data[0] % 3) {
    case 0:
        SendMessages(Servers().Dir + "/" + ControlPipeName, Rest);
        break;
    case 1:
        SendMessages(Servers().Dir + "/" + InfoPipeName, Rest);
        break;
    default:
        SendStream(Rest);
        break;
    }
    return 0;
}
