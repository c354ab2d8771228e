#include "transfer/share/ShareDirectory.h"

ShareDirectory::ShareDirectory(const char* p) : path(p) {}

ShareDirectory::~ShareDirectory() {
    files.clear();
}
