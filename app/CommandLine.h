// The module process's own options. Its first argument is the host's launch
// string, so only an exact "--help" or "--version" there is an option.
#pragma once

// True when the arguments asked for help or the version; both were printed
// to stdout and the process should end with exit code 0.
bool handleInfoOption(int argc, char** argv);
