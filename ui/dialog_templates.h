// The dialog templates of this module's windows: 173 (the skinned message box)
// and 189 (the info view).
#pragma once

// Registers both templates unless done; the functions that open these windows
// call it, and the entry may call it early. Any thread.
void RegisterUiDialogTemplates();
