#include "transfer/source/SourceListEntry.h"

SourceListEntry::SourceListEntry(UserMeta* asked, int64_t askedAt) : value(0), time(askedAt) {
    user.copy(asked);
}
