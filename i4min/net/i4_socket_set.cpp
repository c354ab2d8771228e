#include "i4min/net/i4_socket_set.h"

i4_socket_set::~i4_socket_set() {}
