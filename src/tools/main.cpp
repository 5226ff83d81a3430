// tarnoctl: the console's operations without a window. See CtlUsage for the commands.
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/processes.h"
#include "platform/rundir.h"
#include "platform/servicecontrol.h"
#include "platform/transport.h"
#include "tools/ctlcommands.h"

#ifndef TARNO_VERSION
#error "TARNO_VERSION must hold the project version"
#endif

namespace {

// Answers on this machine come at once; through ssh the first one waits for the login.
constexpr int LocalTimeoutMs = 5000;
constexpr int RemoteTimeoutMs = 20000;

} // namespace

int main(int argc, char** argv) {
    // A reader that goes away (the bridge's ssh, a closed pipe) is an error, not a signal.
    signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> Args(argv + 1, argv + argc);
    if (Args.size() == 1 && (Args[0] == "--help" || Args[0] == "-h")) {
        std::cout << CtlUsage();
        return 0;
    }
    if (Args.size() == 1 && Args[0] == "--version") {
        std::cout << "tarnoctl " << TARNO_VERSION << "\n";
        return 0;
    }
    std::string Error;
    const auto Options = ParseCtlArgs(Args, Error);
    if (!Options) {
        std::cerr << "tarnoctl: " << Error << " (tarnoctl --help lists the commands)\n";
        return CtlExitUsage;
    }
    try {
        const bool Remote = !Options->Pc.empty();
        const auto Transport = OpenMessageTransport(
            Options->Pc, Remote ? "" : FindClientRunDirectory(Options->RunDir));
        TServiceControlOptions ControlOptions;
        ControlOptions.Host = Options->Pc;
        ControlOptions.RunDir = Options->RunDir;
        const auto Control = OpenServiceControl(ControlOptions, SystemProcessRunner());
        TSystemClock Clock;
        TCtlEnvironment Environment{*Transport, *Control,
                                    Clock,      std::cout,
                                    std::cerr,  Remote ? RemoteTimeoutMs : LocalTimeoutMs};
        return RunCtlCommand(*Options, Environment);
    } catch (const std::exception& E) {
        std::cerr << "tarnoctl: " << E.what() << "\n";
        return CtlExitFailed;
    }
}
