#pragma once
// Keep-alive timing of a connected TCP socket, which Qt does not expose: a server that
// vanished without closing (power lost, cable pulled) is told within deadSeconds, idle or not.

// Returns 0 or an errno value.
int SetDeadPeerTimeout(long long socketDescriptor, int deadSeconds);
