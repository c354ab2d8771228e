// The core task thread only, through the list that owns it.
#pragma once

#include <cstdint>

#include "meta/UserMeta.h"

// A peer that was sent an upload request: a copy of its record, the queue rank it reported
// and when it was asked.
class SourceListEntry {
public:
    SourceListEntry(UserMeta* asked, int64_t askedAt);

    UserMeta user;
    int value;
    int64_t time;  // the client's millisecond clock when the request went out
};
