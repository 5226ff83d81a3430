// The two pipe servers of the service as the service's start and stop steps see them: the
// statistics server and the configuration control server. The control channel supplies the real
// ones; until a service is given those, TNoPipeServers starts nothing.
#pragma once

#include <string>

class TPipeServers {
public:
    virtual ~TPipeServers() = default;
    // Each raises when its server cannot be created.
    virtual void StartInfoServer(const std::string& PipeName) = 0;
    virtual void StartControlServer(const std::string& PipeName,
                                    const std::string& IniFileName) = 0;
    // Stop and free the server when it runs; nothing otherwise.
    virtual void StopControlServer() = 0;
    virtual void StopInfoServer() = 0;
};

class TNoPipeServers : public TPipeServers {
public:
    void StartInfoServer(const std::string&) override {}
    void StartControlServer(const std::string&, const std::string&) override {}
    void StopControlServer() override {}
    void StopInfoServer() override {}
};
