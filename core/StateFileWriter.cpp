#include "core/StateFileWriter.h"

#include "core/UIGateway.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/threads/linux/i4_lock.h"

StateFileWriter::StateFileWriter() : stopping(false) {
    setOwnerJoins();
}

StateFileWriter::~StateFileWriter() {
    stopWriting();
}

void StateFileWriter::write(const std::string& path, std::string bytes) {
    {
        i4_lock hold(&lock);
        if (stopping) return;
        queued[path] = std::move(bytes);
    }
    if (getState() == NOT_RUNNING) start();
    work.notify_all();
}

std::set<std::string> StateFileWriter::takeFailed() {
    i4_lock hold(&lock);
    std::set<std::string> names;
    names.swap(failed);
    return names;
}

void StateFileWriter::stopWriting() {
    {
        i4_lock hold(&lock);
        stopping = true;
        queued.clear();
    }
    stop();
}

void StateFileWriter::wake() {
    // Taken so that a waiter between its check and its wait cannot miss this.
    i4_lock hold(&lock);
    work.notify_all();
}

void StateFileWriter::run() {
    std::string path, bytes;
    {
        std::unique_lock<std::mutex> hold(lock);
        work.wait(hold, [this] { return !queued.empty() || getState() != RUNNING; });
        if (queued.empty()) return;
        path = queued.begin()->first;
        bytes.swap(queued.begin()->second);
        queued.erase(queued.begin());
    }
    i4_safe_file out(path.c_str(), I4_WRITE | I4_TRUNCATE);
    int32_t n = (int32_t)bytes.size();
    bool ok = out.get() && out.get()->write(bytes.data(), n) == n;
    ok = out.close() && ok;
    std::string why = ok ? "" : out.error() ? out.error() : "write failed";
    bool say;
    {
        i4_lock hold(&lock);
        if (ok) {
            failing.erase(path);
            return;
        }
        failed.insert(path);
        say = failing.insert(path).second;
    }
    if (say) theUI->printLine("%s was not replaced: %s", path.c_str(), why.c_str());
}
