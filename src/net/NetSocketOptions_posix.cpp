#include "net/NetSocketOptions.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

int SetDeadPeerTimeout(long long socketDescriptor, int deadSeconds)
{
    const int fd = int(socketDescriptor);
    // Idle for a third of the time, then probes a second apart: the last one fails in time.
    const int idle = deadSeconds / 3 > 0 ? deadSeconds / 3 : 1;
    const int interval = 1;
    const int count = deadSeconds - idle > 1 ? deadSeconds - idle - 1 : 1;
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0
        || ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) != 0
        || ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) != 0
        || ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count) != 0)
        return errno;
#ifdef TCP_USER_TIMEOUT
    // Bytes sent and never acknowledged count too, which keep-alive alone does not cover.
    const unsigned userTimeout = unsigned(deadSeconds) * 1000u;
    if (::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout) != 0)
        return errno;
#endif
    return 0;
}
