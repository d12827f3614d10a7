// The shared library exports the window class and nothing else; the rest of
// the module is built with hidden visibility.
#pragma once

#if defined(_WIN32)
#define MESSAGECLIENT_EXPORT __declspec(dllexport)
#else
#define MESSAGECLIENT_EXPORT __attribute__((visibility("default")))
#endif
