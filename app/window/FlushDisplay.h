#pragma once

// Sends the requests queued for the X server now rather than when the event loop next waits, so
// that a window shown before more set-up is mapped while that set-up runs. Its first paint still
// waits for the event loop. Does nothing on other window systems.
void FlushDisplay();
