#include "bench/proc_status.h"

#include <fstream>
#include <sstream>
#include <string>

namespace velta::bench {

std::optional<ProcStatus> read_proc_status(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    if (!in) return std::nullopt;
    ProcStatus st;
    bool have_rss = false;
    bool have_threads = false;
    std::string line;
    // The file is a few dozen lines; the cap only guards against surprises.
    for (int n = 0; n < 1000 && std::getline(in, line); ++n) {
        std::istringstream fields(line);
        std::string key;
        long value = 0;
        fields >> key >> value;
        if (!fields) continue;
        if (key == "VmRSS:") {
            st.rss_kib = value;
            have_rss = true;
        } else if (key == "VmSize:") {
            st.vm_kib = value;
        } else if (key == "Threads:") {
            st.threads = value;
            have_threads = true;
        }
    }
    if (!have_rss || !have_threads) return std::nullopt;
    return st;
}

bool process_exited(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!in || !std::getline(in, stat)) return true;
    // The state follows the command name, which is in parentheses and may
    // itself hold blanks and parentheses.
    const std::size_t end = stat.rfind(')');
    return end == std::string::npos || end + 2 >= stat.size() || stat[end + 2] == 'Z' || stat[end + 2] == 'X';
}

}  // namespace velta::bench
