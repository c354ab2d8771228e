// Core task thread: the packets, the passes, the subscriptions and the status reports, like
// every connection. The packet makers are static and any thread may use them.
#pragma once

#include <cstdint>
#include <vector>

#include "i4min/string/i4_string.h"
#include "net/TCPConnection.h"
#include "ui/UIStatusTask.h"
#include "util/CountedRef.h"

class Download;
class Search;
class TaskThread;
class TcpipUI;
class UploadSlot;
class i4_field_reader;

// One connection from a remote controller on the admin door. Until it has logged in it is a
// stranger: its frames are capped at MAX_LOGIN_FRAME, its first packet must be the login, and
// it has LOGIN_LIMIT_MS to send it. Once logged in (attached to the remote UI) it drives the
// client with command packets, and the client's prints and events reach it as packets.
//
// Frames (both directions): u8 0xE3, u32 length, payload; the payload's first byte is the
// opcode. Integers little-endian; a string is u16 n and n bytes; a hash 16 bytes.
//
// Incoming, after the opcode:
//   100 login        string name, string password (first packet only; each compared as all
//                    its bytes, and nothing may follow them)
//   101 stop         the client shuts down
//   102 command      string line, run as a console command (cut at 254 bytes)
//   202 / 205        search expression: a new search (queue message 5 / 6)
//   208 / 209 / 210 hash    pause / resume / cancel the download
//   211 hash, u8 p   download priority p (0..3)
//   227 hash         answered by 174, the download's part map
//   203 / 206        the last search, extended to the next server (message 8 / 9)
//   204              more results (message 7)
//   207 hash         download the search result with that file hash
//   215, 224, 225, 228   answered by 172, 173, 199, 175
//   216 u16          read and ignored; 212 and 214 nothing
//   217 / 218        download status reports on / off
//   219 / 220        upload status reports on / off
//   226 file record  download by record (message 10)
//   229 hash, u8 p   upload priority p (0..2) of the shared file
// Every other opcode is ignored with a debug line, and bytes after the fields of a command
// are ignored.
//
// Outgoing, after the opcode:
//   172 u16 n, n strings                        the shared directories
//   173 u32 n, n file records                   the shared files
//   174 u32 handle, u16 n, n runs {u32 start, u32 end, u16 weight}: the crumb map, one run
//       per stretch of crumbs of equal weight (holders; 0xFFFF done)
//   175 f32 temp MiB free, f32 incoming MiB free, u32 0, u32 client id,
//       u16 connections, u16 queued uploads
//   180 string                                  a printed line
//   181 string                                  printed text without a line end
//   188 file record, u8 priority, string path, u32 handle     one download
//   189 hash                                    a download was removed
//   195 string                                  hashing progress
//   197 u16 n, n x {u32 handle, u8 status, f32 speed, u32 bytes done, u8 available %,
//       u8 sources}                             the downloads, while subscribed
//   199 options, see optionsPacket
class GUIController : public TCPConnection {
public:
    enum Incoming : uint8_t {
        IN_LOGIN = 100,
        IN_STOP = 101,
        IN_COMMAND = 102,
        IN_SEARCH = 202,
        IN_EXTEND_SEARCH = 203,
        IN_MORE_RESULTS = 204,
        IN_SEARCH_TYPED = 205,
        IN_EXTEND_SEARCH_TYPED = 206,
        IN_DOWNLOAD_RESULT = 207,
        IN_PAUSE = 208,
        IN_RESUME = 209,
        IN_CANCEL = 210,
        IN_PRIORITY = 211,
        IN_NOTHING_212 = 212,
        IN_NOTHING_214 = 214,
        IN_SHARED_DIRECTORIES = 215,
        IN_IGNORED_216 = 216,
        IN_DOWNLOAD_STATUS_ON = 217,
        IN_DOWNLOAD_STATUS_OFF = 218,
        IN_UPLOAD_STATUS_ON = 219,
        IN_UPLOAD_STATUS_OFF = 220,
        IN_SHARED_FILES = 224,
        IN_OPTIONS = 225,
        IN_DOWNLOAD_RECORD = 226,
        IN_PART_MAP = 227,
        IN_DISK_INFO = 228,
        IN_UPLOAD_PRIORITY = 229,
    };
    enum Outgoing : uint8_t {
        OUT_SERVER_MESSAGE = 56,
        OUT_SERVER_LIST = 170,
        OUT_FRIENDS_CHANGED = 171,
        OUT_SHARED_DIRECTORIES = 172,
        OUT_SHARED_FILES = 173,
        OUT_PART_MAP = 174,
        OUT_DISK_INFO = 175,
        OUT_LINE = 180,
        OUT_TEXT = 181,
        OUT_CONNECTED = 182,
        OUT_DISCONNECTED = 183,
        OUT_SERVER_STATUS = 184,
        OUT_EXTENDING = 185,
        OUT_RESULT = 186,
        OUT_RESULTS = 187,
        OUT_DOWNLOAD = 188,
        OUT_DOWNLOAD_REMOVED = 189,
        OUT_SLOT_REMOVED = 193,
        OUT_HASHING = 195,
        OUT_DOWNLOAD_STATUS = 197,
        OUT_OPTIONS = 199,
        OUT_UPLOAD_STATUS = 200,
        OUT_SLOT = 201,
    };

    // Before the login a controller is a stranger: its frames are small and it has a while
    // to log in. After it, frames carry search expressions and file records.
    static const uint32_t MAX_LOGIN_FRAME = 64 * 1024;
    static const uint32_t MAX_FRAME = 1024 * 1024;
    static const int64_t LOGIN_LIMIT_MS = 30000;
    enum { STATUS_INTERVAL_MS = 3000, MAX_COMMAND_LINE = 254 };
    // The options packet's version field.
    enum { OPTIONS_VERSION = 10501 };

    // Takes over the accepted socket; reports to ui (not owned; it outlives the connection).
    // The status task goes on tasks (the core task thread by default) while a report is asked.
    GUIController(i4_socket* accepted, TcpipUI* ui, TaskThread* tasks = nullptr);
    // Detaches from the remote UI, takes the status task off its thread and lets go of the
    // searches.
    ~GUIController() override;

    // The pass runs outside the bandwidth budgets and is not counted in the transfer figures.
    bool doTask() override;
    // Drops a connection that has not logged in within LOGIN_LIMIT_MS.
    void beforeWait() override;
    // The login; false closes the connection.
    bool handleFirstPacket(uint8_t opcode, i4_file* payload) override;
    bool handlePacket(uint8_t opcode, i4_file* payload) override;

    // 199, then the downloads and upload slots.
    void sendInitialState();
    // One report: 200 while uploads are subscribed, then 197 while downloads are.
    void sendStatus();
    void sendOptions();
    void sendDiskInfo();
    void sendSharedDirectories();
    void sendSharedFiles();
    void sendPartMap(Download* download);
    // Offered to the server side; nothing sends it yet.
    void sendServerMessage(const char* text);

    bool isLoggedIn() const { return loggedIn; }
    bool downloadStatusOn() const { return downloadSubscribed; }
    bool uploadStatusOn() const { return uploadSubscribed; }
    bool statusTaskRunning() const { return taskAdded; }
    UIStatusTask& getStatusTask() { return statusTask; }

    // Packet makers. A started packet has room for the estimate and grows past it; finish
    // fixes its length to what was written.
    static TCPPacket* startPacket(uint8_t opcode, int32_t payloadEstimate = 0);
    static TCPPacket* finish(TCPPacket* packet);
    // 199, see the table in the source.
    static TCPPacket* optionsPacket();
    // (year - 2000) * 65536 + month * 256 + day of a build date "Mmm dd yyyy", 0 when it
    // does not read as one from 2000 on.
    static uint32_t packBuildDate(const char* text);
    // 188 for the download (core task thread: its record is read as it stands).
    static TCPPacket* downloadPacket(Download* download, uint32_t handle);
    // 201: the slot's handle, file name, peer (network form) and file hash (zeros without).
    static TCPPacket* slotPacket(UploadSlot* slot, uint32_t handle);
    // 174 over the crumb weights (-1 for a crumb that is done) of a file of fileSize bytes.
    // Without crumbs the map is one run of weight 0 over the file.
    static TCPPacket* partMapPacket(uint32_t handle, const std::vector<int>& weights,
                                    uint32_t fileSize);

protected:
    // Server commands are added by the subclass; this one handles the general ones.
    TcpipUI* ui;

private:
    bool login(i4_file* payload);
    void subscribe(bool* flag, bool on);
    void newSearch(i4_field_reader& in, int messageId, uint8_t kind);
    void extendSearch(int messageId);
    // The download with the hash read from in, with a reference added, or null.
    static Download* downloadNamed(i4_field_reader& in);
    void sendDownloadStatus();

    TaskThread* tasks;
    UIStatusTask statusTask;
    // The last search expression sent; each new search is a new object, so a search still
    // queued keeps the expression it was sent with.
    CountedRef<Search> lastSearch;
    bool downloadSubscribed;
    bool uploadSubscribed;
    bool taskAdded;
    bool loggedIn;
    int64_t acceptedAtMs;
};
