#include "net/STSocketPool.h"

#include <cmath>

#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/net/i4_socket.h"
#include "i4min/net/i4_socket_set.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_time.h"
#include "net/ClockedConnection.h"

const char* const STSocketPool::SOCKET_SET_PROBLEM =
    "problem with socket set. Try reducing max connections";

STSocketPool::STSocketPool(i4_protocol* protocol, BandwidthSettings* bw)
    : SocketPool(protocol),
      sinceReady(0),
      sinceLearning(0),
      removedSent(0),
      removedReceived(0),
      upIndex(0),
      downIndex(0),
      sendRate(0),
      receiveRate(0),
      sentTotal(0),
      receivedTotal(0),
      upCarry(0),
      downCarry(0),
      receiveHeldUntil(0),
      sendHeldUntil(0),
      settings(bw ? bw : &ownSettings) {
    for (int i = 0; i < RING; i++) {
        upRing[i] = settings->maxUpSpeed();
        downRing[i] = settings->maxDownSpeed();
    }
}

STSocketPool::STSocketPool(BandwidthSettings* bw) : STSocketPool(theProtocolHolder.get(), bw) {}

int32_t STSocketPool::budgetFor(double limit, int64_t ms, double* carry) {
    if (!(limit > 0)) {
        *carry = 0;
        return Connection::UNLIMITED_BUDGET;
    }
    if (ms < 0) ms = 0;
    double rate = limit >= 1 ? std::floor(limit) : limit;
    double exact = rate * static_cast<double>(ms) + *carry;
    if (!(exact < Connection::UNLIMITED_BUDGET)) {
        *carry = 0;
        return Connection::UNLIMITED_BUDGET;
    }
    double whole = std::floor(exact);
    *carry = exact - whole;
    return static_cast<int32_t>(whole);
}

// One direction of learning: a is the current rate, e the estimate, answered anew.
static double learn(double a, double e, double* ring, int* index) {
    if (a == 0) return e;
    ring[*index] = static_cast<float>(e > a ? (a + 3 * e) / 4 : a);
    *index = (*index + 1) % STSocketPool::RING;
    float sum = 0;
    for (int i = 0; i < STSocketPool::RING; i++) sum += static_cast<float>(ring[i]);
    float mean = sum / STSocketPool::RING;
    return a > mean ? a : mean;
}

void STSocketPool::updateRateEstimates() {
    settings->setMaxDownSpeed(
        learn(settings->downloadRate(), settings->maxDownSpeed(), downRing, &downIndex));
    settings->setMaxUpSpeed(
        learn(settings->uploadRate(), settings->maxUpSpeed(), upRing, &upIndex));
}

void STSocketPool::reportWaitFailure() {
    // The platform keeps no socket error code of its own here.
    const int code = 0;
    i4_string text = theXMLStringTable.lookup("socketSetProb");
    theUI->printLine("ERROR(%d) %s", code, text.is_empty() ? SOCKET_SET_PROBLEM : text.c_str());
}

bool STSocketPool::run(int ms) {
    bool busy = false;
    try {
        if (ms > 0) sinceReady += ms;
        int ready = readiness();
        if (ready < 0) {
            reportWaitFailure();
        } else if (ready == 0) {
            tickAll(ms);
        } else {
            Connection::receiveBudget =
                budgetFor(settings->downloadLimit(), sinceReady, &downCarry);
            Connection::sendBudget = budgetFor(settings->uploadLimit(), sinceReady, &upCarry);
            sinceLearning += sinceReady;
            if (sinceLearning > LEARN_EVERY_MS) {
                updateRateEstimates();
                sinceLearning = 0;
            }
            busy = processConnections(ms);
            sinceReady = 0;
            holdSpentBudgets();
        }
        processPending();
    } catch (i4_err&) {
        theUI->debug("*** Exception in stsocketpool::run()\n");
    }
    return busy;
}

bool STSocketPool::processConnections(int ms) {
    bool busy = false;
    float sendSum = 0, receiveSum = 0;
    int64_t sent = 0, received = 0;
    for (Connection* c : active) {
        c->tick(ms);
        if (c->doTask()) busy = true;
        if (ClockedConnection* cc = dynamic_cast<ClockedConnection*>(c)) {
            sendSum += static_cast<float>(cc->sendAverage());
            receiveSum += static_cast<float>(cc->receiveAverage());
            sent += cc->totalSent();
            received += cc->totalReceived();
        }
    }
    sendRate = sendSum;
    receiveRate = receiveSum;
    sentTotal = sent + removedSent;
    receivedTotal = received + removedReceived;
    rotate();
    return busy;
}

void STSocketPool::holdSpentBudgets() {
    int64_t now = i4_now_ms();
    // A limit that stopped the pass: the sockets that still have bytes for it would end
    // every wait at once, to move nothing in the passes that follow.
    if (settings->downloadLimit() > 0 && Connection::receiveBudget == 0)
        receiveHeldUntil = now + HOLD_MS;
    if (settings->uploadLimit() > 0 && Connection::sendBudget == 0) sendHeldUntil = now + HOLD_MS;
}

int STSocketPool::readinessMask() {
    int64_t now = i4_now_ms();
    int mask = I4_READY_READ | I4_READY_WRITE | I4_READY_ERROR;
    if (now < receiveHeldUntil) mask &= ~I4_READY_READ;
    if (now < sendHeldUntil) mask &= ~I4_READY_WRITE;
    return mask;
}

int STSocketPool::nextDueMs() {
    int64_t now = i4_now_ms();
    int64_t left = -1;
    for (int64_t until : {receiveHeldUntil, sendHeldUntil})
        if (until > now && (left < 0 || until - now < left)) left = until - now;
    return static_cast<int>(left);
}

void STSocketPool::onRemoved(Connection* c) {
    if (ClockedConnection* cc = dynamic_cast<ClockedConnection*>(c)) {
        removedSent += cc->totalSent();
        removedReceived += cc->totalReceived();
    }
}
