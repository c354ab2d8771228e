// The client with one console word more, "xsrc <hash> <text>", which posts a source text for
// the download of a hash as the network side would. The shipped client has no such word:
// nothing in it posts such a text, so its end-to-end tests need this way in.
#include <memory>
#include <string.h>

#include "app/AppMain.h"
#include "app/ConClientApp.h"
#include "core/MessageQ.h"
#include "core/UIGateway.h"
#include "i4min/main/i4_main.h"
#include "transfer/share/TransferHandler.h"
#include "util/UniqueID.h"

namespace {

void postTextSource(char* line) {
    const char* hash = strchr(line, ' ');
    const char* text = hash ? strchr(hash + 1, ' ') : nullptr;
    auto source = std::make_unique<TextSource>();
    char digits[33] = {};
    if (text && text - hash == 33) memcpy(digits, hash + 1, 32);
    if (!UniqueID::fromHex(source->hash, digits)) {
        theUI->printLine("usage: xsrc <32 hex digits> <source text>");
        return;
    }
    source->text = text + 1;
    theMessageQ.post(MSG_ADD_TEXT_SOURCE, std::move(source));
    theUI->printLine("posted");
}

}  // namespace

int main(int argc, char** argv) {
    theConClientApp.addCommand(new Command("xsrc", postTextSource));
    return i4_main(argc, argv, appMain);
}
