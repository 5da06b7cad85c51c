// Program entry of korvel-setup. The installer reads no command-line arguments.
#include "app/setup_entry.h"

int main() {
    return RunSetup(GetModuleHandleW(nullptr), SetupTuning());
}
