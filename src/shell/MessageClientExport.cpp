// The shared library is the core with only the window class exported.
#include "shell/MessageClient.h"
