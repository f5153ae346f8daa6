#pragma once

#include <string>

// Text to integer as the settings need it: decimal digits with at most one
// leading sign. Anything else, and a number beyond the int range, fails.
bool TryStrToInt(const std::string& text, int& value);
