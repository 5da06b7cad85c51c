// One set-up for every libcurl easy handle the engine creates: ranged
// transfers, the size request, the flag probe and the configuration fetch
// differ only in the values they pass here (plus their own callbacks).
#pragma once

#include <string>

#include "download/download_types.h"

// What the engine announces itself as. Mirrors log and may filter on these,
// so they stay byte for byte as they are.
extern const char* const kTransferUserAgent;  // ranged transfers and repairs
extern const char* const kProbeUserAgent;     // size request, configuration fetch

struct EasyHandleOptions {
    const char* url = nullptr;
    const char* userAgent = nullptr;  // none sent when null
    bool followRedirects = false;
    std::string caFile;         // replaces the system's CA store when set
    std::string proxy;          // an HTTP proxy, when set
    long connectTimeoutMs = 0;  // 0: libcurl's default
    long timeoutMs = 0;         // whole transfer; 0: none of this kind
    long timeoutS = 0;          // whole transfer in seconds; 0: none of this kind
    // libcurl's averaged speed floor; 0 leaves it unset.
    long lowSpeedLimit = 0;
    long lowSpeedTimeS = 0;
};

// Applies the options to `handle` (a CURL*). Signals are never used: every
// transfer runs on a thread of its own.
void ApplyEasyOptions(CURL* handle, const EasyHandleOptions& options);
