// layer: app
// Console command lines as anybody may type or pipe them: lines of any length cut by the line
// reader, each run through the real command table with every argument it takes. The first byte
// sets the line buffer; a pager that a listing switched on is shown without waiting for keys.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/ConClientApp.h"
#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "fuzz/core_fuzz_setup.h"
#include "fuzz/fuzz_temp_file.h"
#include "i4min/main/i4_console_input.h"
#include "ui/Servant.h"

namespace {

// Given a directory, "in" and "temp" make it and "a+" walks the whole tree below it: run on
// whatever the input names they would reach all over the machine, so they run only without
// one (and show their setting).
bool reachesOutside(const char* line) {
    const char* word = line + strspn(line, Servant::DELIMITERS);
    size_t n = strcspn(word, Servant::DELIMITERS);
    for (const char* w : {"a+", "in", "temp"})
        if (n == strlen(w) && strncmp(word, w, n) == 0) return word[n] != 0;
    // The self-tests start a real download in the temporary directory, which the
    // transfer side (not set up here) has not placed in the run's directory.
    return n == 4 && strncmp(word, "test", 4) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        coreFuzzSetup();
        // The console's own command runner, with the real command table.
        theServant = &theConClientApp;
        // The client's files are those of a directory of the run's own.
        theCoreOptions.load(fuzzTempDir().c_str());
        theServant->setLineReader([](char*, int) { return false; });
        theServant->getPager().setKeyReader([] { return ' '; });
        return true;
    }();
    if (!ready || size < 1 || size > 8192) return 0;
    int n = 2 + data[0] % Servant::LINE_SIZE;
    FILE* in = fmemopen(const_cast<uint8_t*>(data + 1), size - 1, "r");
    if (!in) return 0;
    std::vector<char> line((size_t)n);
    for (int lines = 0; lines < 64 && readLine(line.data(), n, in); lines++) {
        if (line[(size_t)n - 1] != 0 && strlen(line.data()) >= (size_t)n) __builtin_trap();
        if (reachesOutside(line.data())) continue;
        theServant->execute(line.data());
        theServant->getPager().show();
    }
    fclose(in);
    // Nobody delivers here: what the commands posted goes with the queue's turn.
    while (theMessageQ.pending() > 0) theMessageQ.run(0);
    return 0;
}
