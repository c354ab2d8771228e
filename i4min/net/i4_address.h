// Network address value. Not shared: each holder owns its copy and uses it on one thread.
#pragma once
#include "i4min/net/i4_printable.h"

class i4_file;

class i4_address : public i4_printable {
public:
    // print (from i4_printable) writes the address as text.
    virtual i4_address* copy() const = 0;
    virtual void set_port(int port) = 0;  // host order
    virtual int get_port() const = 0;     // host order
    // Same host: the port is not compared.
    virtual int equals(const i4_address* other) const = 0;
    // The four octets, first octet first.
    virtual void write(i4_file& f) const = 0;
    // The host's name; 1 when one was written, 0 when none is known.
    virtual int print_name(i4_file& f) const = 0;
    virtual ~i4_address();
};
