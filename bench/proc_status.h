// Reads a process's resident memory, address space and thread count from Linux's
// /proc/PID/status. A Wine server is an ordinary Linux process there too,
// which is why the native load generator can measure either build.
#pragma once

#include <optional>

namespace velta::bench {

struct ProcStatus {
    long rss_kib = 0;
    long vm_kib = 0;
    long threads = 0;
};

std::optional<ProcStatus> read_proc_status(long pid);

// True once the process has ended: gone from /proc, or a zombie that its
// parent has not collected yet.
bool process_exited(long pid);

}  // namespace velta::bench
