// The alarm-message window for a host application:
//     MessageClient window(QStringLiteral("Token:...;ServerUrl:...;ParentWnd:..."));
// See the package's documentation of the launch string and the host link.
#pragma once

#include "shell/MessageClient.h"
