#include "transfer/upload/Upload.h"

#include <cstring>

#include "core/UIGateway.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_random.h"
#include "meta/FileMeta.h"
#include "meta/FileParts.h"
#include "meta/SpecialTagInfo.h"
#include "transfer/peer/Peer.h"
#include "transfer/peer/PeerFrame.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/source/PartnerManager.h"
#include "transfer/upload/UploadPacket.h"
#include "transfer/upload/UploadSlot.h"

namespace {

const int PARTNER_PRIORITY = 30000;

}  // namespace

Upload::Upload(i4_file* f, Peer* c, const char* n, UploadSlot* s, bool logStart)
    : slot(s),
      fileName(n ? n : ""),
      file(f),
      position(0),
      prio(UNSET_PRIORITY),
      ranges{{0, 0}, {0, 0}, {0, 0}},
      last{0, 0},
      heldMs(0),
      holding(false),
      paused(false),
      gone(false),
      sent(0),
      connection(c) {
    memset(fileHash, 0, sizeof fileHash);
    if (connection) connection->addRef("upload");
    if (logStart) theUI->log("Start Upload: %s", name());
}

Upload::~Upload() {
    theUI->log("End Upload: %s", name());
    theTransferGateway.addSent(fileHash, sent);
    delete file;
    if (connection) connection->release("upload");
}

void Upload::setFileHash(const uint8_t hash[16]) {
    memcpy(fileHash, hash, 16);
}

bool Upload::isPartnerConnection() {
    return connection && thePartnerManager.isPartner(connection);
}

int Upload::priority() {
    if (prio > UNSET_PRIORITY) return prio;
    if (isPartnerConnection()) {
        prio = PARTNER_PRIORITY;
    } else {
        FileMeta* shared = theTransferGateway.sharedList.findByHash(fileHash);
        prio = shared ? shared->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY) : 0;
    }
    // A peer whose hello did not check keeps its priority by a chance of 1 in 15.
    if (connection && connection->getUser()->trailerValid == 0 && i4_random(15) != 0) prio = -1;
    return prio;
}

void Upload::dropPriority() {
    if (isPartnerConnection()) return;
    priority();
    prio--;
}

uint64_t Upload::fileSize() {
    return file ? (uint64_t)file->size() : 0;
}

void Upload::shiftFrom(int i) {
    for (int k = i; k < 2; k++) ranges[k] = ranges[k + 1];
    ranges[2] = Range{0, 0};
}

void Upload::inherit(const std::vector<Range>& earlier) {
    finished = earlier;
    if (!finished.empty()) last = finished.back();
}

bool Upload::sentLately(const Range& r) const {
    for (const Range& f : finished)
        if (f == r) return true;
    return false;
}

void Upload::setRanges(const uint32_t starts[3], const uint32_t ends[3]) {
    if (sent > 0 && FileParts::partOf(starts[0]) != FileParts::partOf(ranges[0].start))
        dropPriority();
    Range underWay = ranges[0];
    bool running = underWay.start <= position && position < underWay.end;
    uint64_t size = fileSize();
    for (int i = 0; i < 3; i++) {
        // An empty or reversed pair is none; one past the end of the file cannot be served.
        bool usable = starts[i] < ends[i] && (size == 0 || ends[i] <= size);
        ranges[i] = usable ? Range{starts[i], ends[i]} : Range{0, 0};
    }
    // Only a repeat of the range just finished is dropped: a re-ask of an older one (a crumb
    // whose check failed) is served again.
    for (int i = 0; i < 3; i++) {
        if (last.end > 0 && ranges[i] == last) {
            shiftFrom(i);
            break;
        }
    }
    std::vector<Range> fresh, again;
    for (const Range& r : ranges) {
        if (r.end == 0) continue;
        if (running && r == underWay)
            fresh.insert(fresh.begin(), r);
        else
            (sentLately(r) ? again : fresh).push_back(r);
    }
    fresh.insert(fresh.end(), again.begin(), again.end());
    for (int i = 0; i < 3; i++) ranges[i] = i < (int)fresh.size() ? fresh[(size_t)i] : Range{0, 0};
    if (!(ranges[0].start <= position && position < ranges[0].end)) position = ranges[0].start;
    heldMs = 0;
    if (holding) {
        // The packets stopped while held: two go out again.
        holding = false;
        if (sendNext()) sendNext();
    }
}

bool Upload::sendNext() {
    if (paused) return true;
    if (position >= ranges[0].end || gone) {
        slot->endUpload(this);
        return false;
    }
    if (position == ranges[0].start && sentLately(ranges[0]) && heldMs < HOLD_MS) {
        holding = true;
        return true;
    }
    uint64_t left = ranges[0].end - position;
    uint32_t length = left < measured.blockSize ? (uint32_t)left : measured.blockSize;
    uint64_t blockEnd = position + length;
    UploadPacket* packet = new UploadPacket(PeerFrame::DATA_HEAD + (int32_t)length, this);
    // Read straight into the frame.
    uint8_t* data = PeerFrame::writeData(*packet, fileHash, (uint32_t)position, (uint32_t)blockEnd);
    if (!data || !fillBuffer(data, length)) {
        theUI->debug("Problem Uploading (%d,%d)\n", (int)position, (int)blockEnd);
        delete packet;
        slot->endFailedUpload(this);
        return false;
    }
    position = blockEnd;
    connection->send(packet);
    connection->resetIdle();
    if (position < ranges[0].end) return true;
    // Pair 0 is done: the next one starts.
    if (ranges[1].end > 0 &&
        FileParts::partOf(ranges[1].start) != FileParts::partOf(ranges[0].start))
        dropPriority();
    last = ranges[0];
    finished.push_back(last);
    if (finished.size() > HISTORY) finished.erase(finished.begin());
    shiftFrom(0);
    position = ranges[0].start;
    return true;
}

void Upload::tick(int ms) {
    if (holding && !paused) {
        heldMs += ms;
        if (heldMs >= HOLD_MS) {
            // No newer request came: this is asked for again, and served.
            holding = false;
            if (sendNext()) sendNext();
            return;
        }
    }
    Rate& m = measured;
    m.sampleTimer += ms;
    if (m.sampleTimer <= SAMPLE_MS) return;
    m.ring[m.next] = (double)m.sampleBytes / m.sampleTimer;
    m.next = (m.next + 1) % RING;
    double sum = 0;
    for (double r : m.ring) sum += r;
    m.average = sum / RING;
    m.sampleTimer = 0;
    m.sampleBytes = 0;
    double size = (m.average / 20 + 1) * MIN_BLOCK;
    m.blockSize = size >= MAX_BLOCK ? MAX_BLOCK : (uint32_t)size;
}

void Upload::setPaused(bool pause) {
    if (pause || !paused) {
        paused = pause;
        return;
    }
    if (!canResume()) return;
    paused = false;
    if (sendNext()) sendNext();
}

bool Upload::connectionGone(Peer* c) {
    if (!c || c != connection) return false;
    gone = true;
    i4_lock hold(&lock);
    connection = nullptr;
    return true;
}

void Upload::letConnectionGo() {
    gone = true;
    Peer* c;
    {
        i4_lock hold(&lock);
        c = connection;
        connection = nullptr;
    }
    if (c) c->release("upload");
}

bool Upload::readFile(i4_file* from, uint8_t* buf, uint64_t at, uint32_t n) {
    int32_t got = 0;
    try {
        if (from->seek((int64_t)at) != (int64_t)at) I4_ERROR("seek failed");
        got = from->read(buf, (int32_t)n);
    } catch (const i4_err&) {
        theUI->debug("Exception %d + %d %s\n", (int)at, (int)n, name());
        return false;
    }
    if (got != (int32_t)n) {
        theUI->debug("Not all read: %d + (%d/%d) %s\n", (int)at, (int)got, (int)n, name());
        return false;
    }
    return true;
}

bool Upload::fillBuffer(uint8_t* buf, uint32_t n) {
    if (!file) return false;
    bool read = readFile(file, buf, position, n);
    // Checked after the read: a write that lands meanwhile has moved the file's time first.
    // A file that changed is never sent under the hash of what it held.
    return theTransferGateway.servesUnchanged(fileHash) && read;
}

const char* Upload::peerName() {
    i4_lock hold(&lock);
    return connection ? connection->getName() : nullptr;
}

bool Upload::getPeer(UserMeta* out) {
    i4_lock hold(&lock);
    if (!connection) return false;
    out->copy(connection->getUser());
    return true;
}

bool Upload::isPeer(UserMeta* user) {
    i4_lock hold(&lock);
    return connection && connection->getUser()->isSameUser(user);
}

bool Upload::isConnection(Peer* c) {
    i4_lock hold(&lock);
    return c && connection == c;
}
