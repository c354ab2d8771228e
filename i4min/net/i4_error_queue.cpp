#include "i4min/net/i4_error_queue.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/errqueue.h>
#include <sys/socket.h>

namespace {
const int kMaxAttempts = 16;
}

int i4_drain_error_queue(int fd, sockaddr_in* offender) {
    for (int attempt = 0; attempt < kMaxAttempts; attempt++) {
        sockaddr_in from;
        alignas(cmsghdr) char control[4096];
        msghdr msg;
        memset(&msg, 0, sizeof msg);
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        if (recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            perror("recvmsg");
            if (errno == EBADF || errno == ENOTSOCK) return 0;
            continue;
        }
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == SOL_IP && c->cmsg_type == IP_RECVERR &&
                c->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
                sock_extended_err err;
                memcpy(&err, CMSG_DATA(c), sizeof err);
                if (err.ee_origin == SO_EE_ORIGIN_ICMP) {
                    // The kernel places the offender's address right after the error record.
                    if (offender && c->cmsg_len >= CMSG_LEN(sizeof err + sizeof *offender))
                        memcpy(offender, CMSG_DATA(c) + sizeof err, sizeof *offender);
                    return 1;
                }
                if (err.ee_origin == SO_EE_ORIGIN_LOCAL)
                    fputs("}}} local error\n", stderr);
                else
                    fputs("}}} strange error\n", stderr);
            } else {
                fputs("}}} unknown message on error queue\n", stderr);
            }
        }
    }
    return 0;
}
