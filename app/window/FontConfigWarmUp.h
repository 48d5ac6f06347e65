#pragma once

#include <thread>

// Reads the system's font configuration and font caches on a thread of its own while the
// application connects to the display: the window's first line of text would otherwise wait for
// it.
class FontConfigWarmUp
{
public:
    FontConfigWarmUp();
    ~FontConfigWarmUp();
    FontConfigWarmUp(const FontConfigWarmUp&) = delete;
    FontConfigWarmUp& operator=(const FontConfigWarmUp&) = delete;

    // Returns once the configuration is read. Call it before the first font is looked up:
    // fontconfig sets its configuration atomically, so a look-up while the thread still reads
    // would build a second configuration beside it and drop one of the two.
    void Wait();

private:
    std::thread m_thread;
};
