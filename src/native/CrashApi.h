// Crash-dump stand-in: fatal signals write "<name>-<pid>-<time>.dmp" (signal and
// backtrace) into the dump directory, run the callback, then the process dies
// with the same signal.
#pragma once

using CrashCallback = void (*)();

void CrashAPI_Init();
void CrashAPI_SetDumpPath(const char* szPath);
void CrashAPI_SetCallBack(CrashCallback pCallback);
void CrashAPI_Uninit();
