// Socket facts the transfers need beyond what libcurl reports.
#pragma once

#include <cstdint>

// Bytes written to a connected TCP socket that the peer has not acknowledged
// yet (the socket's send queue); -1 when the socket cannot tell.
int64_t SocketUnacknowledgedBytes(intptr_t socket);
