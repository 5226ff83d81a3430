#include "pipe/bridge.h"

#include <unistd.h>

#include <cerrno>

#include "common/errors.h"
#include "common/fdio.h"
#include "pipe/ft_protocol.h"
#include "platform/transport.h"

namespace {

// Reads exactly Size bytes; answers how many came before the end of In.
size_t ReadFull(int Fd, char* Buffer, size_t Size) {
    size_t Done = 0;
    while (Done < Size) {
        const ssize_t N = read(Fd, Buffer + Done, Size - Done);
        if (N > 0) {
            Done += static_cast<size_t>(N);
        } else if (N == 0 || errno != EINTR) {
            break;
        }
    }
    return Done;
}

} // namespace

int RunBridge(int In, int Out, TMessageTransport& Local, int TimeoutMs, std::string& Error) {
    std::string Request;
    for (;;) {
        char Header[FrameHeaderSize];
        const size_t Got = ReadFull(In, Header, FrameHeaderSize);
        if (Got == 0) {
            return 0;
        }
        if (Got < FrameHeaderSize) {
            Error = "Truncated frame";
            return 1;
        }
        const uint32_t Length = FrameLength(Header);
        if (Length > MaxMessageSize) {
            Error = "Frame too long";
            return 1;
        }
        Request.resize(Length);
        if (ReadFull(In, Request.data(), Length) < Length) {
            Error = "Truncated frame";
            return 1;
        }
        const bool Control =
            Request.size() >= MessageNameSize && (MessageNameIs(Request.data(), ReqGetConfig) ||
                                                  MessageNameIs(Request.data(), ReqSetConfig));
        std::string Frame;
        try {
            const auto Connection =
                Local.Connect(Control ? ControlPipeName : InfoPipeName, TimeoutMs);
            Connection->Send(Request, TimeoutMs);
            Frame = FrameMessage(Connection->Receive(TimeoutMs));
        } catch (const ETransportError& E) {
            Frame = FrameError(E.what());
        }
        if (!WriteAll(Out, Frame)) {
            Error = SysErrorMessage(errno);
            return 1;
        }
    }
}
