#pragma once

#include <string>
#include <vector>

// What the program was asked to do by its arguments:
//   horalink                          the window
//   horalink SERVER [FLAG]            the window, querying SERVER at once
//   horalink --console SERVER [FLAG]  the same run without a window
//   horalink --help | --version
// FLAG is upper-cased ("N" when absent); one containing Y also sets the clock.
class CommandLine
{
public:
    enum class Mode { Window, Console, Help, Version, Invalid };

    // The server name must fit the 260-byte server buffer with its terminator.
    static constexpr size_t kMaxServerBytes = 259;

    // args: the program's arguments without the program name.
    static CommandLine Parse(const std::vector<std::string>& args);
    static std::vector<std::string> Arguments(int argc, char** argv);
    static std::string Usage();

    Mode mode = Mode::Window;
    std::string server; // empty: nothing to query
    std::string flag;   // upper case; empty when there is no server
    std::string error;  // why the arguments are Invalid

private:
    static CommandLine ServerRun(Mode mode, const std::vector<std::string>& args, size_t first);
    static CommandLine Invalid(std::string error);
};
