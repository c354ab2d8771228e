// run and hashFile: the hashing thread. startHashing and queueCompleted: the core task
// thread; start, stop and quit: the core task and main threads. isPassDone: any thread.
// dirLock guards the directory list, the listing, the position and the shared paths; queueLock the
// downloads waiting for their check; the known list has its own lock, which also guards changes to
// its records.
#pragma once

#include <atomic>
#include <deque>
#include <stdint.h>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/Thread.h"
#include "i4min/file/i4_dir_listing.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_mutex.h"

class Download;
class FileList;
class FileMeta;
class MessageQ;
class PartialFile;
class ShareList;

// Checks the data of the downloads loaded at start-up, then hashes every file of the
// shared directories, one file or one download a step, reusing the known record of a file
// that has not changed. Each result goes to the core task thread as a queue message (file
// hashed; rerank after a check); at the end of a pass known.met and share.dat are saved
// and publishing is asked for. The thread stops itself when a pass is over and no check
// waits.
class HashThread : public Thread {
public:
    // Asked between two crumbs: false ends the hashing (the application is stopping).
    typedef bool (*RunningCheck)();

    HashThread(FileList& known, ShareList& shares, MessageQ& queue);
    ~HashThread() override;

    void onStart() override;
    void run() override;

    // Takes the paths over (the vector is left empty) as the directories of a new pass,
    // then starts the thread. Files at the shared paths are shared already: when they
    // have not changed, the pass leaves their records as they are.
    void startHashing(std::vector<i4_string>& directories,
                      std::unordered_set<std::string> shared = {});
    bool isPassDone() const { return passDone.load(); }
    // One shared file that changed on disk: hashed again before the next file of a pass,
    // its record shared anew, and the end of the pass publishes it.
    void rehashFile(const i4_string& path);
    // A loaded download whose data is to be checked: takes a reference on it and on its
    // partial file, given back once the check is done (Download::hashDone) or dropped.
    // Checks come before the next file of a pass.
    void queueCompleted(Download* download);
    // The client quits: a check under way ends between two parts and the thread stops;
    // the download stays waiting for its check, which its record brings back at the
    // next start.
    void quit();
    // Downloads waiting for their check (tests).
    int pendingChecks();

    // The application's running flag, read between two crumbs of a file.
    static void setRunningCheck(RunningCheck check);

    // The record of one file, every part and crumb hashed; null when the file cannot be
    // read. A stop while it hashes throws Stopped, the record dropped.
    FileMeta* hashFile(const char* path);
    struct Stopped {};

    // Under the known list's lock, for a newly read file (path and time set): when a known
    // record has the same content, the record takes over its tags and true is the answer.
    static bool knowAgain(FileList& known, FileMeta& record, const char* name);

private:
    enum Step { NOTHING_LEFT, DIRECTORY_DONE, FILE_CHOSEN };

    // Under dirLock: moves through the directories to the next file (its path in path).
    Step nextFile(i4_string& path);
    // A file of a shared directory made into a record, or null.
    FileMeta* shareFile(const char* path, const char* name, bool wasShared);
    // Under the known list's lock: the record of the file as it is now, or null.
    FileMeta* knownAt(const char* path, uint32_t size, uint32_t modified);
    struct Check {
        Download* download;
        PartialFile* file;
    };
    // One queued check, when there is one; true when it ran.
    bool checkOne();
    static void drop(std::deque<Check>& checks);
    // Under dirLock: the end of a pass.
    void endPass();
    bool stopping() const;
    void freeListing();

    FileList& known;
    ShareList& shares;
    MessageQ& queue;
    i4_mutex dirLock;
    std::vector<i4_string> directories;
    std::vector<i4_string> files;
    std::unordered_set<std::string> sharedPaths;
    i4_dir_listing* listing;
    size_t position;
    std::atomic<bool> passDone;
    std::atomic<bool> quitting;
    // The last step read a file or checked a download (the hashing thread's own).
    bool diskRead;
    // Known records by path, made anew at the first file of each pass (the hashing
    // thread's own): records are added to the known list during a pass, never deleted.
    std::atomic<bool> reindex;
    std::unordered_map<std::string, FileMeta*> knownByPath;
    i4_mutex queueLock;
    std::deque<Check> pending;
    std::deque<Check> working;
};

extern HashThread theHashThread;
