#pragma once

// Removes a capability (CAP_SYS_TIME by default) from the calling thread's effective set and
// keeps it permitted, so that it is raised only around the call that needs it. Called at the
// top of main, before any thread exists, since threads inherit the set of their creator.
// True when the capability is now off in the effective set (also when it was never there).
bool DropEffectiveCapability(int capability);
bool DropEffectiveSystemTimeCapability();

// Removes the capability from the effective, permitted and inheritable sets for good, for a run
// that will never use it; called before any network input is read. True when it is gone (also
// when it was never there).
bool DropCapabilityForGood(int capability);
bool DropSystemTimeCapabilityForGood();
