#pragma once
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

// Lowers the calling thread to the idle end of the scheduler (nice 19), as the
// background channels run; a failure leaves the thread as it was.
inline void setCurrentThreadIdle() {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 19);
}

} // namespace platform
