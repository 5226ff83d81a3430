// The console's main window: the generic service window named for the conversion service, with
// the Commands button.
#pragma once

#include "console/basesvc_acess.h"

class TMainWnd : public TSvcWndBase {
    Q_OBJECT
public:
    explicit TMainWnd(TConsoleEnvironment Environment);

    void UpdateButtons() override;
    // The Commands button: fetch the configuration, choose a directory, send the command.
    void CommandsClicked();
};
