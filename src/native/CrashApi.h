// Crash-dump stand-in: fatal signals write "<name>-<pid>-<time>.dmp" (signal and
// backtrace) into the dump directory, run the callback, then the process dies
// with the same signal. Without CrashAPI_SetDumpPath the dumps go to "dumps"
// under the log directory. The handler is bounded: a watchdog thread ends the
// process if dump and callback have not finished within a few seconds.
#pragma once

using CrashCallback = void (*)();

void CrashAPI_Init();
void CrashAPI_SetDumpPath(const char* szPath);
void CrashAPI_SetCallBack(CrashCallback pCallback);
void CrashAPI_Uninit();

// Gives the calling thread an alternate signal stack, so a stack overflow on
// it still reaches the handler. Every thread the module starts calls it first;
// repeated calls on one thread are cheap. The stack goes with the thread.
void CrashAPI_InitThread();

// The dump this process wrote while failing ("" before a crash). Safe to call
// from the callback.
const char* CrashAPI_GetDumpFile();
