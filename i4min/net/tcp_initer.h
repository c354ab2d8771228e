// Installs the socket layer's SIGALRM handler: in init pass 1 (main thread), and on first use
// of a socket from any thread, whichever comes first.
#pragma once
#include "i4min/init/i4_thread_init_class.h"

class tcp_initer : public i4_thread_init_class {
public:
    void init() override;
};

// Idempotent and thread-safe. A cancel signals blocked threads with SIGALRM, which must
// never meet the default action (ending the process).
void i4_install_alarm_handler();
