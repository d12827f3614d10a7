// Qt ends a program whose display cannot be opened with abort(), which looks
// like a crash (and writes a core). Between these two calls, around the
// construction of the application object, a fatal Qt message is printed as
// "<program>: cannot start: ..." and the program ends with exit code 1.
#pragma once

namespace cmdline {

void catchStartFailure(const char* program);
void releaseStartFailure();

} // namespace cmdline
