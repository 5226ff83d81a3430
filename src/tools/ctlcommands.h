// The commands of tarnoctl: the console's operations for shells and scripts. They reach the
// service through a message transport (its sockets, or the bridge to another machine) and a
// service control; main picks the real ones, tests hand in fakes.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "pipe/ft_protocol.h"
#include "pipe/srvpipe_protocol.h"

class TClock;
class TMessageTransport;
class TServiceControl;

constexpr int CtlExitFailed = 1;
constexpr int CtlExitUsage = 2;

struct TCtlOptions {
    std::string RunDir;            // --rundir DIR
    std::string Pc;                // --pc HOST
    std::string Command;           // status, get-config, ...
    std::vector<std::string> Args; // the command's own arguments
    bool Json = false;             // status --json
};

// The options, or nothing with Error set for a usage error.
std::optional<TCtlOptions> ParseCtlArgs(const std::vector<std::string>& Args, std::string& Error);

// The help text.
std::string CtlUsage();

struct TCtlEnvironment {
    TMessageTransport& Transport;
    TServiceControl& Control;
    TClock& Clock;
    std::ostream& Out;
    std::ostream& Err;
    int ReceiveTimeoutMs;
    // For "bridge": the standard input and output, and the transport to this machine's sockets.
    int In = 0;
    int OutFd = 1;
};

// Runs the command; answers the exit code. Errors are written to Err as "tarnoctl: <message>".
int RunCtlCommand(const TCtlOptions& Options, TCtlEnvironment& Environment);

// The statistics as the console's two pages show them. State is the service's state (0: unknown).
std::string StatusText(int State, const TPipeStats& Pipe, const TRorozoraSrvStats& Srv,
                       TDateTime Now);
// The same as one JSON object with stable keys; unset times are null.
std::string StatusJson(int State, const TPipeStats& Pipe, const TRorozoraSrvStats& Srv);
