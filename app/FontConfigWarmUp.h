#pragma once

#include <thread>

// Reads the system's font configuration and font caches on a thread of its own while the
// application connects to the display: the window's first line of text would otherwise wait for
// it. Joins the thread when it goes.
class FontConfigWarmUp
{
public:
    FontConfigWarmUp();
    ~FontConfigWarmUp();
    FontConfigWarmUp(const FontConfigWarmUp&) = delete;
    FontConfigWarmUp& operator=(const FontConfigWarmUp&) = delete;

private:
    std::thread m_thread;
};
