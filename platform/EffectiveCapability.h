#pragma once

// Removes a capability (CAP_SYS_TIME by default) from the calling thread's effective set and
// keeps it permitted, so that it is raised only around the call that needs it. Called at the
// top of main, before any thread exists, since threads inherit the set of their creator.
// True when the capability is now off in the effective set (also when it was never there).
bool DropEffectiveCapability(int capability);
bool DropEffectiveSystemTimeCapability();
