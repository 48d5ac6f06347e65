#include "app/FontConfigWarmUp.h"

#include <fontconfig/fontconfig.h>

// fontconfig keeps one current configuration and sets it atomically: should Qt ask for it
// before this thread is done, it builds its own and the later of the two is dropped.
FontConfigWarmUp::FontConfigWarmUp() : m_thread([] { FcInit(); }) {}

FontConfigWarmUp::~FontConfigWarmUp()
{
    m_thread.join();
}
