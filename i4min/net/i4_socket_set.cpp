#include "i4min/net/i4_socket_set.h"

void i4_socket_set::wake() {}

i4_socket_set::~i4_socket_set() {}
