#pragma once

#include <chrono>
#include <sys/types.h>

// polkit's text authentication agent (pkttyagent) for this process, so that polkit can ask for
// a password on the terminal, as systemd's own tools do. It runs from construction, once it has
// registered with polkit or given up, until the object goes. Does nothing where standard input
// is not a terminal or the agent is not installed.
class TtyAuthAgent
{
public:
    static constexpr const char* kProgram = "/usr/bin/pkttyagent";
    // How long to wait for the agent to register before the call goes ahead without it.
    static constexpr std::chrono::milliseconds kRegisterWait{10000};

    TtyAuthAgent();
    ~TtyAuthAgent();
    TtyAuthAgent(const TtyAuthAgent&) = delete;
    TtyAuthAgent& operator=(const TtyAuthAgent&) = delete;

private:
    void Start();

    pid_t m_pid = -1;
};
