// Process-level hooks of the Windows build that have no POSIX counterpart:
// the COM apartment of a thread and the unhandled-exception filter. Callers
// use them where Windows needs them (COM around the installer window on the
// main thread and around the worker's shortcut and hand-off steps; the
// filter removed when the window closes), so that a Win32 backend only fills
// in this header.
// Thread rule: ComInitialize and ComUninitialize act on the calling thread
// and are called in pairs on it.
#pragma once

// CoInitialize(NULL): a single-threaded apartment for the calling thread.
// False when it failed; the pair's ComUninitialize is then still harmless.
bool ComInitialize();
// CoUninitialize() for the calling thread.
void ComUninitialize();

// SetUnhandledExceptionFilter(NULL): a fault after this point takes the
// system's default path (on Windows the error report instead of a handler
// of the process's own).
void RemoveUnhandledExceptionFilter();
