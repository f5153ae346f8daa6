#include "service/descriptor_limit.h"

// Windows limits sockets by memory, not by a per-process count.
void RaiseDescriptorLimit() {}
