#include <sys/resource.h>

#include "service/descriptor_limit.h"

void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  // Left as it was when refused: the server still runs, only with less room.
  setrlimit(RLIMIT_NOFILE, &limit);
}
