// POSIX has neither COM nor an unhandled-exception filter. The shell-link and
// shell objects COM serves on Windows are desktop-entry files and plain
// process starts here, which need no per-thread set-up; and the installer
// installs no handler for fatal signals, so their default action (end the
// process, core dump where enabled) is already what removing the filter
// restores. Each hook therefore does nothing.
#include "platform/com.h"

bool ComInitialize() {
    return true;
}

void ComUninitialize() {}

void RemoveUnhandledExceptionFilter() {}
