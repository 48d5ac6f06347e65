#include "app/clock/TtyAuthAgent.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

extern char** environ;

namespace
{

// The descriptor the agent closes once it has registered.
constexpr int kNotifyFd = 3;

// "PID,START": the start time (in clock ticks since boot) pins the subject to this process
// even if its pid were reused.
std::string ProcessSubject()
{
    const std::string pid = std::to_string(::getpid());
    std::ifstream stat("/proc/self/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    // Field 22; the fields after the command name, which ends at the last ')', start at 3.
    size_t at = text.rfind(')');
    for (int field = 2; field < 22 && at != std::string::npos; ++field) {
        at = text.find(' ', at + 1);
    }
    if (at == std::string::npos) {
        return pid;
    }
    const std::string start = text.substr(at + 1, text.find(' ', at + 1) - at - 1);
    return start.empty() ? pid : pid + "," + start;
}

// Waits until the agent closes its end (registered) or exits, at most kRegisterWait.
void WaitForRegistration(int readFd)
{
    pollfd wait{readFd, POLLIN, 0};
    char byte = 0;
    while (::poll(&wait, 1, static_cast<int>(TtyAuthAgent::kRegisterWait.count())) > 0 &&
           ::read(readFd, &byte, 1) > 0) {
    }
}

} // namespace

TtyAuthAgent::TtyAuthAgent()
{
    if (::isatty(STDIN_FILENO) && ::access(kProgram, X_OK) == 0) {
        Start();
    }
}

TtyAuthAgent::~TtyAuthAgent()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

void TtyAuthAgent::Start()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        return;
    }
    // Above kNotifyFd, so that the dup2 below always makes a fresh, inheritable descriptor.
    const int writeFd = ::fcntl(ends[1], F_DUPFD_CLOEXEC, kNotifyFd + 1);
    ::close(ends[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (writeFd >= 0) {
        posix_spawn_file_actions_adddup2(&actions, writeFd, kNotifyFd);
    }
    const std::string subject = ProcessSubject();
    const std::string notify = std::to_string(kNotifyFd);
    const char* argv[] = {kProgram,       "--process",  subject.c_str(), "--notify-fd",
                          notify.c_str(), "--fallback", nullptr};
    pid_t pid = -1;
    const bool started = writeFd >= 0 && posix_spawn(&pid, kProgram, &actions, nullptr,
                                                     const_cast<char**>(argv), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (writeFd >= 0) {
        ::close(writeFd);
    }
    if (started) {
        m_pid = pid;
        WaitForRegistration(ends[0]);
    }
    ::close(ends[0]);
}
