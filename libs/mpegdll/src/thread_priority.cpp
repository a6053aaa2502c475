#include "libs/mpegdll/src/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace mpegdll {

namespace {

struct PriorityLevel {
    int priority;
    int nice;
};

constexpr PriorityLevel levels[] = {
    {-15, 19}, {-2, 10}, {-1, 5}, {0, 0}, {1, -5}, {2, -10}, {15, -20},
};

} // namespace

bool isPriority(int priority) {
    for (const PriorityLevel& level : levels)
        if (level.priority == priority)
            return true;
    return false;
}

void applyThreadPriority(int priority) {
    for (const PriorityLevel& level : levels)
        if (level.priority == priority)
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), level.nice);
}

} // namespace mpegdll
