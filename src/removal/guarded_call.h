// A call into code that is not ours (a COM server's export) that must not end
// the program, whatever it does. MinGW has no __try, so each architecture has
// its own twin: on i386 a registration record of ours on the thread's
// exception chain (fs:[0]), on x86-64 a frame whose unwind entry names our
// handler. Either way the handler is asked only about exceptions that the
// foreign code does not handle itself.
#pragma once

#include <windows.h>

// Calls `procedure`, a function without arguments such as a library's export,
// and ignores its result. Any exception raised inside it, access violations
// included, ends the call there and execution goes on here. Either way the
// thread's exception chain is back to the head it had on entry. True when the
// procedure returned, false when an exception ended it. Guards may nest; they
// are meant for the uninstaller's one thread.
bool CallGuarded(FARPROC procedure);
