#include "archive/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

void lowerCurrentThreadPriority(int nice)
{
    // Linux gives each thread its own nice value, addressed by its thread id.
    ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), nice);
}
