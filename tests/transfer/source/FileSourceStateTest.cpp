#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "../SourceTestSupport.h"
#include "transfer/source/FSS_AskingPartner.h"
#include "transfer/source/FSS_BadSource.h"
#include "transfer/source/FSS_Gone.h"
#include "transfer/source/FSS_NoNeededParts.h"
#include "transfer/source/FSS_OnQueue.h"
#include "transfer/source/FSS_Partner.h"
#include "transfer/source/FSS_TestPartner.h"
#include "transfer/source/FSS_Transfering.h"
#include "transfer/source/FSS_TransferingAskingPartner.h"
#include "transfer/source/FSS_Unasked.h"
#include "transfer/source/FSS_WaitForChunks.h"
#include "transfer/source/FSS_WaitForChunksBQ.h"
#include "transfer/source/FSS_WaitForConnection.h"
#include "transfer/source/SourceListEntry.h"

using namespace sourcetest;

namespace {

enum { U = 0, WC = 1, BQ = 2, Q = 3, WCH = 4, T = 5, BAD = 6, GONE = 7, NN = 8, AP = 9, P = 10 };
enum {
    OP71 = Peer::OP_REQUEST_RANGES,
    OP79 = Peer::OP_FILE_STATUS_REQUEST,
    OP84 = Peer::OP_UPLOAD_REQUEST,
    OP88 = Peer::OP_FILE_NAME_REQUEST,
    OP101 = Peer::OP_PARTNER_REQUEST
};

struct World {
    FileSource* s;
    TestPeer* c;
    SourceFixture* f;
};

// One case: a source put in a state (with its connection unless `alone`), one event, then
// what must follow.
struct Row {
    const char* what;
    std::function<FileSourceState*(FileSource*)> start;
    std::function<bool(World&)> event;  // its answer, where the event has one
    int status;
    std::vector<int> packets;
    int askedDelta;
    int refDelta;
    int freedSlots;
    bool answer = true;
    bool alone = false;    // the source has no connection
    int trailerValid = 1;  // of the peer
    int pr = 1;            // of the peer
    std::function<void(World&)> check = nullptr;
};

template <class S>
std::function<FileSourceState*(FileSource*)> in() {
    return [](FileSource* s) { return new S(s); };
}

std::function<bool(World&)> tick(int ms) {
    return [ms](World& w) { return w.s->tick(ms); };
}

struct FileSourceStateTable : SourceFixture {};

TEST_F(FileSourceStateTable, EventsMoveStatesAsTheTableSays) {
    const int GONE5 = 47775744;
    std::vector<Row> rows = {
        // Timer limits, just at and just past each.
        {"waiting for a connection 240,000 ms",
         in<FSS_WaitForConnection>(),
         tick(240000),
         WC,
         {},
         0,
         0,
         0,
         true,
         true},
        {"waiting for a connection 240,001 ms",
         in<FSS_WaitForConnection>(),
         tick(240001),
         GONE,
         {},
         0,
         0,
         0,
         true,
         true},
        {"queued 900,000 ms", in<FSS_OnQueue>(), tick(900000), Q, {}, 0, 0, 0, true, false, 0},
        {"queued 900,001 ms without a valid trailer",
         in<FSS_OnQueue>(),
         tick(900001),
         U,
         {},
         0,
         -1,
         0,
         true,
         false,
         0},
        {"queued 900,001 ms with a valid trailer", in<FSS_OnQueue>(), tick(900001), Q, {}, 0, 0, 0},
        {"queued 43,200,001 ms with a valid trailer",
         in<FSS_OnQueue>(),
         tick(43200001),
         U,
         {},
         0,
         -1,
         0},
        {"transferring idle 360,000 ms", in<FSS_Transfering>(), tick(360000), T, {}, 0, 0, 0},
        {"transferring idle 360,001 ms", in<FSS_Transfering>(), tick(360001), U, {}, 0, -1, 0},
        {"transferring idle 360,001 ms, asked for an upload lately",
         in<FSS_Transfering>(),
         [](World& w) {
             theSourceList.askForUpload(w.c, w.f->download->getFileId());
             return w.s->tick(360001);
         },
         U,
         {OP84},
         0,
         -1,
         0},
        {"partner asked while transferring, 60,000 ms",
         [](FileSource* s) { return new FSS_TransferingAskingPartner(s, 0); },
         tick(60000),
         T,
         {},
         0,
         0,
         0,
         true,
         false,
         1,
         1,
         [](World& w) { EXPECT_EQ(w.s, thePartnerManager.slot(0)); }},
        {"partner asked while transferring, 60,001 ms",
         [](FileSource* s) { return new FSS_TransferingAskingPartner(s, 0); },
         tick(60001),
         T,
         {},
         0,
         0,
         0,
         true,
         false,
         1,
         1,
         [](World& w) {
             EXPECT_EQ(nullptr, thePartnerManager.slot(0));
             EXPECT_EQ(1, w.s->getCoolDown());
         }},
        {"asking a connected peer for partnership 60,001 ms",
         in<FSS_AskingPartner>(),
         tick(60001),
         U,
         {},
         0,
         -1,
         0},
        {"asking for partnership without a connection 240,000 ms",
         in<FSS_AskingPartner>(),
         tick(240000),
         AP,
         {},
         0,
         0,
         0,
         true,
         true},
        {"asking for partnership without a connection 240,001 ms",
         in<FSS_AskingPartner>(),
         tick(240001),
         GONE,
         {},
         0,
         0,
         0,
         true,
         true},
        {"partner trial 60,000 ms", in<FSS_TestPartner>(), tick(60000), P, {}, 0, 0, 0},
        {"partner trial 60,001 ms with room: a lasting partner",
         in<FSS_TestPartner>(),
         tick(60001),
         P,
         {},
         0,
         0,
         0,
         true,
         false,
         1,
         1,
         [](World& w) {
             EXPECT_EQ(w.s, thePartnerManager.slot(0));
             EXPECT_TRUE(w.c->isKept());
         }},
        {"gone 600,000 ms", in<FSS_Gone>(), tick(600000), GONE, {}, 0, 0, 0},
        {"gone 600,001 ms",
         in<FSS_Gone>(),
         tick(600001),
         U,
         {},
         0,
         0,
         0,
         true,
         false,
         1,
         1,
         [](World& w) { EXPECT_EQ(1, w.s->getRetries()); }},
        {"gone after five retries, at its limit",
         [](FileSource* s) {
             s->setRetries(5);
             return new FSS_Gone(s);
         },
         tick(GONE5),
         GONE,
         {},
         0,
         0,
         0},
        {"gone after five retries, past its limit",
         [](FileSource* s) {
             s->setRetries(5);
             return new FSS_Gone(s);
         },
         tick(GONE5 + 1),
         BAD,
         {},
         0,
         0,
         0},
        {"a bad source", in<FSS_BadSource>(), tick(1), BAD, {}, 0, 0, 0, false},
        {"no needed parts while the status is fresh",
         in<FSS_NoNeededParts>(),
         [](World& w) {
             BoolArray none = bits({}, 5);
             w.s->gotFileStatus(w.c, &none);
             return w.s->tick(900000);
         },
         NN,
         {},
         0,
         0,
         0},
        {"no needed parts once the status is stale",
         in<FSS_NoNeededParts>(),
         [](World& w) {
             BoolArray none = bits({}, 5);
             w.s->gotFileStatus(w.c, &none);
             return w.s->tick(900001);
         },
         U,
         {},
         0,
         0,
         0},

        // Connecting and asking.
        {"unasked connects",
         in<FSS_Unasked>(),
         [](World& w) { return w.s->tryConnect(); },
         WC,
         {},
         0,
         0,
         0,
         true,
         true,
         1,
         1,
         [](World& w) { EXPECT_EQ(1u, w.f->connects.ports.size()); }},
        {"unasked, asked lately: straight to the queue",
         in<FSS_Unasked>(),
         [](World& w) {
             theSourceList.askForUpload(w.c, w.s->getFileHash());
             w.c->sent();
             w.s->setConnection(nullptr);
             return w.s->tryConnect();
         },
         Q,
         {},
         1,
         0,
         0,
         true,
         false,
         1,
         1,
         [](World& w) { EXPECT_TRUE(w.f->connects.ports.empty()); }},
        {"unasked told its queue place",
         in<FSS_Unasked>(),
         [](World& w) {
             w.s->placeInQueue(w.c, 7);
             return true;
         },
         Q,
         {},
         0,
         1,
         0,
         true,
         false,
         1,
         1,
         [](World& w) { EXPECT_EQ(7, w.s->getQueueRank()); }},
        {"a connection of a one-part file's peer: assumed complete, asked for an upload",
         in<FSS_WaitForConnection>(),
         [](World& w) {
             w.s->setConnection(nullptr);
             w.s->newPeer(w.c);
             return true;
         },
         Q,
         {OP88, OP84},
         1,
         1,
         0},
        {"a refused callback",
         in<FSS_WaitForConnection>(),
         [](World& w) {
             UserMeta* u = w.s->getUserMeta();
             return w.s->callbackFailed(u->serverIp, u->ip);
         },
         BAD,
         {},
         0,
         0,
         0,
         true,
         true},
        {"status with a needed crumb: upload request",
         in<FSS_WaitForChunksBQ>(),
         [](World& w) {
             BoolArray some = bits({1}, 5);
             return w.s->gotFileStatus(w.c, &some);
         },
         Q,
         {OP84},
         1,
         0,
         0},
        {"status with nothing needed",
         in<FSS_WaitForChunksBQ>(),
         [](World& w) {
             BoolArray none = bits({}, 5);
             return w.s->gotFileStatus(w.c, &none);
         },
         NN,
         {},
         0,
         -1,
         0},
        {"no such file before asking",
         in<FSS_WaitForChunksBQ>(),
         [](World& w) { return w.s->noFile(w.c); },
         BAD,
         {},
         0,
         -1,
         0},
        {"queued and told its place: the connection goes",
         in<FSS_OnQueue>(),
         [](World& w) {
             w.s->placeInQueue(w.c, 3);
             return true;
         },
         Q,
         {},
         0,
         -1,
         0},
        {"queued, paused",
         in<FSS_OnQueue>(),
         [](World& w) {
             theSourceList.askForUpload(w.c, w.s->getFileHash());
             w.c->sent();
             w.s->pause();
             return true;
         },
         U,
         {},
         0,
         -1,
         0},
        {"queued, granted a slot",
         in<FSS_OnQueue>(),
         [](World& w) { return w.s->openSlot(w.c); },
         T,
         {OP71},
         0,
         0,
         0},

        // Transferring.
        {"transferring, told it is queued",
         in<FSS_Transfering>(),
         [](World& w) { return w.s->queued(w.c); },
         Q,
         {},
         0,
         0,
         0,
         true,
         false,
         1,
         1,
         [](World& w) {
             uint32_t s[3], e[3];
             w.s->getRequests(s, e);
             EXPECT_EQ(0u, e[0] | e[1] | e[2]) << "queued keeps no ranges";
         }},
        {"transferring, no such file",
         in<FSS_Transfering>(),
         [](World& w) { return w.s->noFile(w.c); },
         BAD,
         {},
         0,
         0,
         1},
        {"transferring, paused",
         in<FSS_Transfering>(),
         [](World& w) {
             theSourceList.askForUpload(w.c, w.s->getFileHash());
             w.c->sent();
             w.s->pause();
             return true;
         },
         U,
         {},
         0,
         0,
         1},
        {"transferring, cancelled",
         in<FSS_Transfering>(),
         [](World& w) {
             w.s->cancel();
             return true;
         },
         BAD,
         {},
         0,
         0,
         1},
        {"transferring, connection lost",
         in<FSS_Transfering>(),
         [](World& w) {
             theSourceList.askForUpload(w.c, w.s->getFileHash());
             w.c->sent();
             w.s->connectionLost(w.c);
             return true;
         },
         GONE,
         {},
         0,
         -1,
         0,
         true,
         false,
         1,
         1,
         [](World& w) { EXPECT_EQ(nullptr, w.s->getConnection()); }},
        {"transferring, a failed connect elsewhere",
         in<FSS_Transfering>(),
         [](World& w) {
             UserMeta* u = w.s->getUserMeta();
             return w.s->connectFailed(u->ip, u->port);
         },
         T,
         {},
         0,
         0,
         0,
         false},
        {"transferring, asked to ask a level-1 peer",
         in<FSS_Transfering>(),
         [](World& w) {
             w.s->askPartner();
             return true;
         },
         T,
         {OP101},
         0,
         0,
         0,
         true,
         false,
         1,
         1,
         [](World& w) { EXPECT_EQ(w.s, thePartnerManager.slot(0)); }},
        {"transferring, asked to ask a level-0 peer",
         in<FSS_Transfering>(),
         [](World& w) {
             w.s->askPartner();
             return true;
         },
         T,
         {},
         0,
         0,
         0,
         true,
         false,
         1,
         0,
         [](World& w) { EXPECT_EQ(1, w.s->getCoolDown()); }},
        {"partner asked while transferring, then queued: asks again",
         [](FileSource* s) { return new FSS_TransferingAskingPartner(s, 0); },
         [](World& w) { return w.s->queued(w.c); },
         AP,
         {OP101},
         0,
         0,
         0},
        {"partner asked while transferring, accepted",
         [](FileSource* s) { return new FSS_TransferingAskingPartner(s, 0); },
         [](World& w) { return w.s->partnerAccepted(w.c); },
         P,
         {},
         0,
         0,
         0},
        {"partner asked while transferring, denied",
         [](FileSource* s) { return new FSS_TransferingAskingPartner(s, 0); },
         [](World& w) { return w.s->partnerDenied(w.c); },
         T,
         {},
         0,
         0,
         0},
        {"waiting for chunks, a needed one arrives",
         in<FSS_WaitForChunks>(),
         [](World& w) {
             BoolArray some = bits({2}, 5);
             return w.s->gotFileStatus(w.c, &some);
         },
         T,
         {OP84, OP71},
         1,
         0,
         0},
        {"waiting for chunks, no such file",
         in<FSS_WaitForChunks>(),
         [](World& w) { return w.s->noFile(w.c); },
         BAD,
         {},
         0,
         0,
         1},

        // Partners, back-off and the rest.
        {"asking for partnership, ended",
         in<FSS_AskingPartner>(),
         [](World& w) {
             w.s->partnerEnded();
             return true;
         },
         U,
         {},
         0,
         -1,
         0,
         true,
         false,
         1,
         1,
         [](World& w) { EXPECT_EQ(600000, w.s->getCoolDown()); }},
        {"asking for partnership, granted a slot",
         in<FSS_AskingPartner>(),
         [](World& w) { return w.s->openSlot(w.c); },
         T,
         {OP101, OP71},
         0,
         0,
         0},
        {"a partner told no such file",
         in<FSS_Partner>(),
         [](World& w) { return w.s->noFile(w.c); },
         P,
         {},
         0,
         0,
         0,
         false},
        {"a partner, ended",
         in<FSS_Partner>(),
         [](World& w) {
             w.s->partnerEnded();
             return true;
         },
         T,
         {},
         0,
         0,
         0,
         true,
         false,
         1,
         1,
         [](World& w) { EXPECT_EQ(600000, w.s->getCoolDown()); }},
        {"no needed parts, a range that another source held given back",
         in<FSS_NoNeededParts>(),
         [](World& w) {
             DLProgress& progress = w.f->download->getProgress();
             BoolArray all = bits({0, 1, 2, 3, 4}, 5);
             std::vector<std::pair<uint32_t, uint32_t>> held;
             uint32_t start, end;
             while (progress.nextRange(&all, start, end, 0)) held.push_back({start, end});
             theSourceList.askForUpload(w.c, w.f->download->getFileId());
             w.s->tick(FSS_NoNeededParts::LOOK_EVERY_MS);
             EXPECT_EQ(NN, w.s->getStatus()) << "every range is asked from the other source";
             EXPECT_FALSE(held.empty());
             progress.refreshGaps(held.back().first, held.back().second);
             w.s->tick(FSS_NoNeededParts::LOOK_EVERY_MS - 1);
             EXPECT_EQ(NN, w.s->getStatus()) << "it looks once a second";
             return w.s->tick(1);
         },
         U,
         {OP84},
         0,
         0,
         0},
        {"gone, found again",
         in<FSS_Gone>(),
         [](World& w) {
             w.s->refound();
             return true;
         },
         U,
         {},
         0,
         0,
         0},
        {"no needed parts, partnership accepted",
         in<FSS_NoNeededParts>(),
         [](World& w) { return w.s->partnerAccepted(w.c); },
         P,
         {OP71},
         0,
         1,
         0},
        {"unasked, a failed connect to its address",
         in<FSS_Unasked>(),
         [](World& w) {
             UserMeta* u = w.s->getUserMeta();
             return w.s->connectFailed(u->ip, u->port);
         },
         GONE,
         {},
         0,
         0,
         0},
        {"unasked, the peer asks for partnership",
         in<FSS_Unasked>(),
         [](World& w) { return w.s->gotPartnerRequest(w.c); },
         P,
         {OP71},
         0,
         1,
         0},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.what);
        thePartnerManager.clear();
        theSourceList.clear();
        connects.ports.clear();
        TestPeer* c = peer(0x21, r.pr, r.trailerValid);
        std::unique_ptr<FileSource> s = source(c);
        if (r.alone) s->setConnection(nullptr);
        // Sources that transfer need crumbs to ask for.
        BoolArray all = bits({0, 1, 2, 3, 4}, 5);
        if (!r.alone) s->gotFileStatus(c, &all);
        s->setState(r.start(s.get()));
        c->sent();
        freedSlots();
        int refs = c->refCount();
        int asked = theSourceList.count();
        World w{s.get(), c, this};
        EXPECT_EQ(r.answer, r.event(w));
        EXPECT_EQ(r.status, s->getStatus());
        EXPECT_EQ(r.packets, c->sent());
        EXPECT_EQ(r.askedDelta, theSourceList.count() - asked);
        EXPECT_EQ(r.refDelta, c->refCount() - refs);
        EXPECT_EQ(r.freedSlots, freedSlots());
        if (r.check) r.check(w);
    }
}

}  // namespace
