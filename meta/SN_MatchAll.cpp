#include "meta/SN_MatchAll.h"

#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"

SN_MatchAll::SN_MatchAll() : SearchNode(MATCH_ALL) {}

SN_MatchAll::~SN_MatchAll() {}

SearchNode* SN_MatchAll::clone() const {
    return new SN_MatchAll();
}

bool SN_MatchAll::matches(Meta*) {
    return true;
}

bool SN_MatchAll::toNetwork(i4_file& f) {
    try {
        return f.write_8(MATCH_ALL) == 1;
    } catch (const i4_err&) {
        return false;
    }
}

bool SN_MatchAll::fromNetwork(i4_file&) {
    return true;
}

int SN_MatchAll::size() {
    return 1;
}

int SN_MatchAll::weight() {
    return 0;
}

void SN_MatchAll::toText(i4_string& buffer) {
    buffer.append("*");
}
