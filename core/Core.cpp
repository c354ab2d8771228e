#include "core/Core.h"

#include <cstdint>
#include <vector>

#include "core/CoreHandler.h"
#include "core/CoreNetwork.h"
#include "core/CoreOptions.h"
#include "core/CoreUI.h"
#include "core/MessageQ.h"
#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "core/UIMetaOutput.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_path.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_time.h"
#include "util/XMLParser.h"

Core theCore;

namespace {

// Keeps the document of the interface texts alive for the string table.
XMLParser uiTextParser;

// A file bigger than this is not a table of texts.
const int64_t kMaxUiFile = 4 * 1024 * 1024;

i4_file* openUiFile(const i4_string& dir) {
    i4_string name(dir);
    name.append("ui.xml");
    return i4_open(name.c_str(), I4_READ);
}

}  // namespace

Core::Core() : socketPool(nullptr), connector(nullptr), startMs(i4_now_ms()), network(nullptr) {}

Core::~Core() {}

void Core::setNetwork(CoreNetwork* n) {
    network = n;
}

void Core::start() {
    theCoreHandler.registerHandlers(theMessageQ);
    setMetaOutput(&theUIMetaOutput);
    startMs = i4_now_ms();
    theCoreOptions.load();
    // A crash before the first quit must not cost the new identity.
    if (theCoreOptions.isFirstStart()) theCoreOptions.save();
    // Every socket from here on goes through the configured proxy.
    theProtocolHolder.setProxy(theProxySettings);
    reloadFilters();
    if (!network) throw i4_err("ERROR: no connection layer to start");
    TimeSliceTask* pool = network->open(&socketPool, &connector);
    thread.addTask(pool);
    thread.addTask(&theMessageQ);
    // The thread sleeps in the pool's readiness wait, and a post ends that sleep.
    thread.setWaiter(dynamic_cast<TaskWait*>(pool));
    theMessageQ.wakeOnPost(&thread);
    thread.start();
    // Without its thread no typed command would ever run and the console would
    // wait for it forever.
    if (thread.getState() != Thread::RUNNING)
        throw i4_err("ERROR: the core task thread could not start");
    thread.setPriority(3);
}

void Core::stopThread() {
    thread.stop();
}

void Core::stop() {
    // Nothing may use the pool while it is deleted, a wake included.
    thread.stop();
    thread.setWaiter(nullptr);
    theCoreOptions.save();
    if (network) network->close(socketPool, connector);
    connector = nullptr;
    socketPool = nullptr;
}

void Core::reloadFilters() {
    const char* path = theCoreOptions.getFiltersPath().c_str();
    bool wasCut = filters.wasCut();
    filters.load(path);
    // Said once: the start loads the list and message 0 loads it again.
    if (filters.wasCut() && !wasCut)
        theUI->printLine("%s is longer than %d bytes: the words after them are dropped", path,
                         (int)FilterMaster::MAX_FILE_BYTES);
}

void Core::loadUIStrings() {
    i4_string fallback(CoreOptions::workingDirectory());
    fallback.append("/skins/default/");
    const char* uiPath = theCoreOptions.getStringPref("uiPath");
    i4_file* f = nullptr;
    if (uiPath && *uiPath) f = openUiFile(i4_string(uiPath));
    if (!f) f = openUiFile(fallback);
    if (!f) return;

    int64_t size = f->size();
    std::vector<char> text;
    if (size > 0 && size <= kMaxUiFile) {
        text.resize((size_t)size + 1);
        int32_t got = f->read(text.data(), (int32_t)size);
        text.resize(got > 0 ? (size_t)got : 0);
    }
    delete f;
    if (text.empty()) return;
    text.push_back('\0');
    theXMLStringTable.load(uiTextParser.parse(text.data(), text.size() - 1));
}

void Core::setUI(CoreUI* ui) {
    theCoreUI = ui;
}

int Core::connectionCount() {
    return network && socketPool ? network->connectionCount(socketPool) : 0;
}

int64_t Core::millis() const {
    return i4_now_ms() - startMs;
}
