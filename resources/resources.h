// Registration of the resources compiled into the program. The entry calls
// these once at start, before anything looks a resource up.
#pragma once

// Download configurations 501/502 ("xml") and release texts 503/504 ("TXT").
void RegisterBuiltinTextResources();

// Every bitmap and the window icon (type "PNG"), ids in resource_ids.h.
void RegisterBuiltinBitmaps();
