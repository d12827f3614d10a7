// Numbers of the launch string, read as atoi reads them ("7abc" is 7, "abc"
// is 0) but clamped instead of overflowing.
#pragma once

#include <string>

int LaunchNumber(const std::string& strValue);
