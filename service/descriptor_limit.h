#pragma once

// For servers in the foreground: every connection holds a descriptor, and
// the soft limit most shells hand out (1024) is far below what the server
// is meant to carry. Raises it to the hard limit, as Linux servers do;
// Windows has no such limit.
void RaiseDescriptorLimit();
