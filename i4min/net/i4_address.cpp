#include "i4min/net/i4_address.h"

i4_address::~i4_address() {}
