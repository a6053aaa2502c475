#pragma once

namespace mpegdll {

// True for the seven priority numbers that SetPriority accepts.
bool isPriority(int priority);

// Gives the calling thread the nice value of a priority number. A raise that the system
// refuses (no privilege) leaves the thread as it is.
void applyThreadPriority(int priority);

} // namespace mpegdll
