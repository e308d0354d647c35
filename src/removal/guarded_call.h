// A call into code that is not ours (a COM server's export) that must not end
// the program, whatever it does. MinGW has no __try, so the guard is a
// registration record of our own on the thread's exception chain (fs:[0]).
#pragma once

#include <windows.h>

// Calls `procedure`, a function without arguments such as a library's export,
// and ignores its result. Any exception raised inside it, access violations
// included, ends the call there and execution goes on here. Either way the
// thread's exception chain is back to the head it had on entry. True when the
// procedure returned, false when an exception ended it.
bool CallGuarded(FARPROC procedure);
