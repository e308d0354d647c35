// Takes back a self-registering COM server's registration before the file
// phase deletes its file.
#pragma once

// Unregisters the server at `path`, a full path of at most 259 characters.
// On NT 6 and later "regsvr32 /u /s" does it in its own process, waited for
// without a time limit; otherwise, or when the tool cannot be started, the
// file is loaded here and its "DllUnregisterServer" is called, guarded against
// any exception, with the file's folder as the current directory. The current
// directory and the error mode are as they were when the function returns.
// Nothing is reported: whether the server was unregistered is not known.
void UnregisterComServer(const char *path);
