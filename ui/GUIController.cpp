#include "ui/GUIController.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/Core.h"
#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/TaskThread.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_time.h"
#include "meta/FileMeta.h"
#include "meta/FileParts.h"
#include "meta/Search.h"
#include "meta/UserMeta.h"
#include "net/Connection.h"
#include "net/TCPPacket.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/DLProgress.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "transfer/peer/PeerFrame.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"
#include "transfer/upload/UploadPool.h"
#include "transfer/upload/UploadSlot.h"
#include "ui/AdminSettings.h"
#include "ui/Servant.h"
#include "ui/TcpipUI.h"
#include "util/LLView.h"

namespace {

const int HASH_SIZE = 16;

void printLocalized(const char* key, const char* text) {
    theUI->printLine("%s", theXMLStringTable.localized(key, text).c_str());
}

// A string field of the login: its u16 length and every one of those bytes.
std::string loginField(i4_field_reader& in) {
    uint16_t n = in.u16();
    std::vector<uint8_t> bytes = in.block(n, 0xFFFE);
    return std::string(bytes.begin(), bytes.end());
}

// A file system's free space in MiB, as the controller expects it.
float freeMebibytes(const i4_string& path) {
    int64_t bytes = i4_free_space(path.c_str() ? path.c_str() : ".");
    if (bytes < 0) bytes = 0;
    return (float)(bytes >> 20);
}

}  // namespace

GUIController::GUIController(i4_socket* accepted, TcpipUI* remoteUI, TaskThread* taskThread)
    : TCPConnection(accepted, TCPPacket::MARKER, MAX_LOGIN_FRAME),
      ui(remoteUI),
      tasks(taskThread ? taskThread : &theCore.taskThread()),
      downloadSubscribed(false),
      uploadSubscribed(false),
      taskAdded(false),
      loggedIn(false),
      acceptedAtMs(i4_now_ms()) {
    statusTask.setInterval(STATUS_INTERVAL_MS);
    statusTask.setController(this);
    ui->loginWaitStarted(this);
}

GUIController::~GUIController() {
    // First: from here on no other thread can reach this connection through the UI.
    ui->detachController(this);
    ui->loginWaitEnded(this);
    if (taskAdded) tasks->removeTask(&statusTask);
    statusTask.setController(nullptr);
}

bool GUIController::doTask() {
    // The controller's traffic is neither held back by the bandwidth limits nor counted in
    // the transfer figures.
    int32_t receive = Connection::receiveBudget;
    int32_t send = Connection::sendBudget;
    Connection::receiveBudget = Connection::UNLIMITED_BUDGET;
    Connection::sendBudget = Connection::UNLIMITED_BUDGET;
    bool active = TCPConnection::doTask();
    Connection::receiveBudget = receive;
    Connection::sendBudget = send;
    bytesSent = 0;
    bytesReceived = 0;
    return active;
}

void GUIController::beforeWait() {
    if (!loggedIn && !dropping && i4_now_ms() - acceptedAtMs >= LOGIN_LIMIT_MS) drop();
    TCPConnection::beforeWait();
}

bool GUIController::handleFirstPacket(uint8_t opcode, i4_file* payload) {
    // Whatever happens, this connection no longer waits for its login.
    ui->loginWaitEnded(this);
    if (opcode != IN_LOGIN) return false;
    return login(payload);
}

bool GUIController::login(i4_file* payload) {
    i4_field_reader in(*payload);
    // Whole fields as sent, so a zero byte inside one is part of it and not its end; a frame
    // with anything after the two is not a login.
    std::string name = loginField(in);
    std::string pass = loginField(in);
    if (in.left() != 0 || !theAdminSettings.accepts(name, pass)) {
        printLocalized("invalidNamePass", "Invalid name and pass");
        return false;
    }
    if (!ui->attachController(this)) {
        printLocalized("anotherControl", "Another Control attempt");
        return false;
    }
    loggedIn = true;
    incoming.setMaxPayload(MAX_FRAME);
    sendInitialState();
    return true;
}

bool GUIController::handlePacket(uint8_t opcode, i4_file* payload) {
    i4_field_reader in(*payload);
    switch (opcode) {
    case IN_STOP:
        if (theServant) theServant->requestStop();
        return true;
    case IN_COMMAND: {
        // Cut like a console line, so a command cannot tell where it came from.
        std::unique_ptr<i4_string> line(new i4_string);
        in.text(MAX_COMMAND_LINE, *line);
        theMessageQ.post(MSG_COMMAND, std::move(line));
        return true;
    }
    case IN_SEARCH:
        newSearch(in, MSG_SEARCH, 0);
        return true;
    case IN_SEARCH_TYPED:
        newSearch(in, MSG_SEARCH_TYPED, 1);
        return true;
    case IN_EXTEND_SEARCH:
        extendSearch(MSG_EXTEND_SEARCH);
        return true;
    case IN_EXTEND_SEARCH_TYPED:
        extendSearch(MSG_EXTEND_SEARCH_TYPED);
        return true;
    case IN_MORE_RESULTS:
        theMessageQ.post(MSG_MORE_RESULTS);
        return true;
    case IN_DOWNLOAD_RESULT: {
        uint8_t hash[HASH_SIZE];
        in.bytes(hash, HASH_SIZE);
        if (FileMeta* copy = ui->copyResult(hash))
            theMessageQ.post(MSG_START_DOWNLOAD, std::unique_ptr<FileMeta>(copy));
        return true;
    }
    case IN_PAUSE:
    case IN_RESUME:
    case IN_CANCEL:
        if (Download* d = downloadNamed(in)) {
            if (opcode == IN_PAUSE)
                d->pause();
            else if (opcode == IN_RESUME)
                d->resume();
            else
                d->cancel();
            d->release();
        }
        return true;
    case IN_PRIORITY: {
        // Every field is read before the download is held: a short frame throws.
        uint8_t hash[HASH_SIZE];
        in.bytes(hash, HASH_SIZE);
        uint8_t priority = in.u8();
        if (Download* d = theDLPool.findByHash(hash)) {
            if (priority <= Download::PRIORITY_HIGHEST) theDLPool.setPriority(d, priority);
            d->release();
        }
        return true;
    }
    case IN_PART_MAP:
        if (Download* d = downloadNamed(in)) {
            sendPartMap(d);
            d->release();
        }
        return true;
    case IN_NOTHING_212:
    case IN_NOTHING_214:
        return true;
    case IN_SHARED_DIRECTORIES:
        sendSharedDirectories();
        return true;
    case IN_IGNORED_216:
        in.u16();
        return true;
    case IN_DOWNLOAD_STATUS_ON:
    case IN_DOWNLOAD_STATUS_OFF:
        subscribe(&downloadSubscribed, opcode == IN_DOWNLOAD_STATUS_ON);
        return true;
    case IN_UPLOAD_STATUS_ON:
    case IN_UPLOAD_STATUS_OFF:
        subscribe(&uploadSubscribed, opcode == IN_UPLOAD_STATUS_ON);
        return true;
    case IN_SHARED_FILES:
        sendSharedFiles();
        return true;
    case IN_OPTIONS:
        sendOptions();
        return true;
    case IN_DOWNLOAD_RECORD: {
        std::unique_ptr<FileMeta> record(new FileMeta);
        if (record->fromNetwork(*payload)) theMessageQ.post(MSG_START_DOWNLOAD, std::move(record));
        return true;
    }
    case IN_DISK_INFO:
        sendDiskInfo();
        return true;
    case IN_UPLOAD_PRIORITY: {
        uint8_t hash[HASH_SIZE];
        in.bytes(hash, HASH_SIZE);
        uint8_t priority = in.u8();
        if (priority <= 2) theTransferGateway.setUploadPriority(hash, priority);
        return true;
    }
    default:
        return TCPConnection::handlePacket(opcode, payload);
    }
}

void GUIController::newSearch(i4_field_reader& in, int messageId, uint8_t kind) {
    CountedRef<Search> search(new Search);
    if (!search->fromNetwork(in.file())) return;
    search->setKind(kind);
    lastSearch = search;
    theMessageQ.post(messageId, search);
}

void GUIController::extendSearch(int messageId) {
    if (lastSearch) theMessageQ.post(messageId, lastSearch);
}

Download* GUIController::downloadNamed(i4_field_reader& in) {
    uint8_t hash[HASH_SIZE];
    in.bytes(hash, HASH_SIZE);
    return theDLPool.findByHash(hash);
}

void GUIController::subscribe(bool* flag, bool on) {
    *flag = on;
    bool wanted = downloadSubscribed || uploadSubscribed;
    if (wanted && !taskAdded) {
        tasks->addTask(&statusTask);
        taskAdded = true;
    } else if (!wanted && taskAdded) {
        tasks->removeTask(&statusTask);
        taskAdded = false;
    }
}

void GUIController::sendInitialState() {
    sendOptions();
    LLsafe* downloads = ui->getDownloadList();
    if (!downloads) return;
    i4_lock hold(downloads);
    for (Download* d : LLView<Download>(downloads)) {
        send(downloadPacket(d, ui->downloadHandles().handleFor(d)));
    }
    std::vector<UploadSlot*> slots;
    theUploadPool.slots(slots);
    for (UploadSlot* s : slots) send(slotPacket(s, ui->slotHandles().handleFor(s)));
}

void GUIController::sendStatus() {
    if (uploadSubscribed) {
        // 200: u16 n, then per upload slot u32 handle, f32 rate.
        std::vector<UploadSlot*> slots;
        theUploadPool.slots(slots);
        size_t n = slots.size() > 0xFFFF ? 0xFFFF : slots.size();
        TCPPacket* p = startPacket(OUT_UPLOAD_STATUS, 2 + 8 * (int32_t)n);
        i4_field_writer out(p->file());
        out.u16((uint16_t)n);
        for (size_t i = 0; i < n; i++) {
            out.u32(ui->slotHandles().handleFor(slots[i]));
            out.f32((float)slots[i]->rate());
        }
        send(finish(p));
    }
    if (downloadSubscribed) sendDownloadStatus();
}

void GUIController::sendDownloadStatus() {
    LLsafe* downloads = ui->getDownloadList();
    if (!downloads) return;
    i4_lock hold(downloads);
    int n = downloads->countNoLock();
    if (n > 0xFFFF) n = 0xFFFF;
    TCPPacket* p = startPacket(OUT_DOWNLOAD_STATUS, 2 + 15 * n);
    i4_field_writer out(p->file());
    out.u16((uint16_t)n);
    LLNode* cursor = nullptr;
    for (int i = 0; i < n; i++) {
        Download* d = (Download*)LL::next(downloads, &cursor);
        if (!d) break;
        PartialFile* file = d->getPartialFile();
        int64_t done = file ? file->getTransferred() : 0;
        double available = d->getAvailability() * 100;
        out.u32(ui->downloadHandles().handleFor(d));
        out.u8((uint8_t)d->getStatus());
        out.f32((float)d->getSpeed());
        out.u32(done > 0 ? (uint32_t)done : 0);
        out.u8(available > 0 ? (uint8_t)available : 0);
        out.u8((uint8_t)d->getSources()->count());
    }
    send(finish(p));
}

TCPPacket* GUIController::downloadPacket(Download* d, uint32_t handle) {
    PartialFile* file = d->getPartialFile();
    FileMeta* record = file ? file->getMeta() : nullptr;
    TCPPacket* p = startPacket(OUT_DOWNLOAD, record ? record->size() + 64 : 64);
    i4_field_writer out(p->file());
    if (record) {
        record->toNetwork(p->file());
    } else {
        // A download without its files yet: a bare record of its hash and size.
        FileMeta bare;
        bare.setFileHash(d->getFileId());
        bare.toNetwork(p->file());
    }
    out.u8((uint8_t)d->getPriority());
    PeerFrame::writeString(p->file(), record && record->getPath() ? record->getPath() : "");
    out.u32(handle);
    return finish(p);
}

TCPPacket* GUIController::slotPacket(UploadSlot* slot, uint32_t handle) {
    i4_string name;
    slot->fileName(name);
    UserMeta peer;
    slot->getPeer(&peer);
    uint8_t hash[16] = {0};
    if (const uint8_t* h = slot->fileHash()) memcpy(hash, h, 16);
    TCPPacket* p =
        startPacket(OUT_SLOT, 4 + PeerFrame::stringSize(name.c_str()) + peer.size() + 16);
    i4_field_writer out(p->file());
    out.u32(handle);
    PeerFrame::writeString(p->file(), name.c_str());
    peer.toNetwork(p->file());
    out.bytes(hash, 16);
    return finish(p);
}

TCPPacket* GUIController::partMapPacket(uint32_t handle, const std::vector<int>& weights,
                                        uint32_t fileSize) {
    const uint32_t crumb = (uint32_t)FileParts::CRUMB_SIZE;
    TCPPacket* p =
        startPacket(OUT_PART_MAP, 6 + 10 * (int32_t)(weights.size() ? weights.size() : 1));
    i4_field_writer out(p->file());
    out.u32(handle);
    int64_t countAt = p->file().tell();
    out.u16(0);
    uint16_t runs = 0;
    uint32_t start = 0;
    int weight = weights.empty() ? 0 : weights[0];
    for (size_t i = 1; i < weights.size() && runs < 0xFFFF - 1; i++) {
        if (weights[i] == weight) continue;
        uint32_t end = (uint32_t)i * crumb;
        out.u32(start);
        out.u32(end);
        out.u16((uint16_t)weight);
        runs++;
        start = end;
        weight = weights[i];
    }
    out.u32(start);
    out.u32(fileSize);
    out.u16((uint16_t)weight);
    runs++;
    int64_t endAt = p->file().tell();
    p->file().seek(countAt);
    out.u16(runs);
    p->file().seek(endAt);
    return finish(p);
}

void GUIController::sendPartMap(Download* d) {
    // The core task thread keeps the crumb map; it is read here on that thread.
    DLProgress& progress = d->getProgress();
    std::vector<int> weights((size_t)progress.crumbCount());
    for (size_t i = 0; i < weights.size(); i++) weights[i] = progress.getWeight((int)i);
    send(partMapPacket(ui->downloadHandles().handleFor(d), weights, d->getFileSize()));
}

TCPPacket* GUIController::startPacket(uint8_t opcode, int32_t payloadEstimate) {
    TCPPacket* p =
        new TCPPacket(1 + (payloadEstimate > 0 ? payloadEstimate : 0), TCPPacket::MARKER);
    p->file().write_8(opcode);
    return p;
}

TCPPacket* GUIController::finish(TCPPacket* packet) {
    packet->fixLength();
    return packet;
}

void GUIController::sendSharedDirectories() {
    std::vector<i4_string> dirs;
    theTransferGateway.getSharedDirectories(dirs);
    size_t n = dirs.size() > 0xFFFF ? 0xFFFF : dirs.size();
    TCPPacket* p = startPacket(OUT_SHARED_DIRECTORIES);
    i4_field_writer(p->file()).u16((uint16_t)n);
    for (size_t i = 0; i < n; i++) PeerFrame::writeString(p->file(), dirs[i].c_str());
    send(finish(p));
}

void GUIController::sendSharedFiles() {
    TCPPacket* p = startPacket(OUT_SHARED_FILES, theTransferGateway.sharedList.size());
    if (theTransferGateway.sharedList.toNetwork(p->file()))
        send(finish(p));
    else
        delete p;
}

void GUIController::sendDiskInfo() {
    TCPPacket* p = startPacket(OUT_DISK_INFO);
    i4_field_writer out(p->file());
    out.f32(freeMebibytes(theTransferOptions.getTemp()));
    out.f32(freeMebibytes(theTransferOptions.getIncoming()));
    out.u32(0);
    out.u32(theCoreOptions.getClientId());
    out.u16((uint16_t)theCore.connectionCount());
    out.u16((uint16_t)theUploadPool.getQueue().waitingCount());
    send(finish(p));
}

void GUIController::sendServerMessage(const char* text) {
    TCPPacket* p = startPacket(OUT_SERVER_MESSAGE);
    PeerFrame::writeString(p->file(), text);
    send(finish(p));
}

void GUIController::sendOptions() {
    send(optionsPacket());
}

// 199, after the opcode:
//   u16 version 10501
//   f32 download limit, f32 upload limit (KB/s)
//   u16 peer door port, u16 max connections
//   string user name, string temporary directory, string incoming directory
//   3 x u8 0
//   u8 chat allowance, u8 save corrupted, u8 verify cancel
//   u16 admin port, u32 max connections
//   u32 build date, see packBuildDate
//   f32 line speed (KB/s)
//   u32 process id
TCPPacket* GUIController::optionsPacket() {
    TCPPacket* p = startPacket(OUT_OPTIONS);
    i4_field_writer out(p->file());
    out.u16(OPTIONS_VERSION);
    out.f32((float)theCoreOptions.getMaxDownload());
    out.f32((float)theCoreOptions.getMaxUpload());
    out.u16((uint16_t)theTransferOptions.getDoorPort());
    out.u16((uint16_t)theCoreOptions.maxCon);
    PeerFrame::writeString(out.file(), theCoreOptions.getUserName().c_str());
    PeerFrame::writeString(out.file(), theTransferOptions.getTemp().c_str());
    PeerFrame::writeString(out.file(), theTransferOptions.getIncoming().c_str());
    out.u8(0);
    out.u8(0);
    out.u8(0);
    out.u8((uint8_t)theTransferOptions.pmAllow);
    out.u8((uint8_t)theTransferOptions.saveCor);
    out.u8((uint8_t)theTransferOptions.verifyCancel);
    out.u16((uint16_t)theAdminSettings.getDoorPort());
    out.u32((uint32_t)theCoreOptions.maxCon);
    out.u32(packBuildDate(__DATE__));
    out.f32((float)theCoreOptions.lineDown);
    out.u32((uint32_t)getpid());
    return finish(p);
}

uint32_t GUIController::packBuildDate(const char* text) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char word[16];
    unsigned day = 0, year = 0;
    if (!text || sscanf(text, "%15s %u %u", word, &day, &year) != 3) return 0;
    unsigned month = 0;
    for (unsigned i = 0; i < 12; i++)
        if (strncmp(word, months[i], 3) == 0) month = i + 1;
    if (month == 0 || year < 2000 || day < 1 || day > 31) return 0;
    return (year - 2000) * 65536 + month * 256 + day;
}
