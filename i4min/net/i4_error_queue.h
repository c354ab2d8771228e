// The error queue of a datagram socket. Called by the socket's owning thread only.
#pragma once
#include <netinet/in.h>

// Reads queued errors until an ICMP error was taken (its offender goes to *offender when given)
// or the queue is empty. Bounded, so a descriptor that keeps failing cannot hold the caller.
// 1 when an ICMP error was read.
int i4_drain_error_queue(int fd, sockaddr_in* offender);
