#include <linux/sockios.h>
#include <sys/ioctl.h>

#include "platform/net.h"

int64_t SocketUnacknowledgedBytes(intptr_t socket) {
    int queued = 0;
    if (socket < 0 || ioctl(static_cast<int>(socket), SIOCOUTQ, &queued) != 0)
        return -1;
    return queued;
}
