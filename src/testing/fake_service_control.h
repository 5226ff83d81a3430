// A service control for tests: queries answer a scripted list of states (the last one repeats)
// and every call is recorded.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/servicecontrol.h"

class TFakeServiceControl : public TServiceControl {
public:
    std::deque<TServiceQuery> Script{TServiceQuery{}};
    std::vector<std::string> Calls;

    TServiceQuery Query() override {
        Calls.push_back("query");
        const TServiceQuery Q = Script.front();
        if (Script.size() > 1) {
            Script.pop_front();
        }
        return Q;
    }
    void Start() override { Calls.push_back("start"); }
    void Stop() override { Calls.push_back("stop"); }
    void Control(int Code) override { Calls.push_back("control " + std::to_string(Code)); }
};

// A query result.
inline TServiceQuery ServiceQuery(int State, uint32_t CheckPoint = 0, uint32_t WaitHint = 0) {
    TServiceQuery Q;
    Q.State = State;
    Q.CheckPoint = CheckPoint;
    Q.WaitHint = WaitHint;
    return Q;
}
