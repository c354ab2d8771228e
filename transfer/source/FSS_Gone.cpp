#include "transfer/source/FSS_Gone.h"

#include "transfer/source/FSS_BadSource.h"
#include "transfer/source/FSS_Unasked.h"
#include "transfer/source/FileSource.h"

FSS_Gone::FSS_Gone(FileSource* s) : FileSourceState(s, GONE), waited(0) {
    limit = limitFor(s->getRetries());
}

int64_t FSS_Gone::limitFor(int retries) {
    // In integers: 600,000 x 12^n / 5^n, exact, so that no rounding of 2.4 moves a limit
    // by a millisecond. 12^n stays far within 64 bits for every n that is ever reached.
    if (retries < 0) retries = 0;
    if (retries > MAX_RETRIES + 1) retries = MAX_RETRIES + 1;
    int64_t num = FIRST_LIMIT_MS, den = 1;
    for (int i = 0; i < retries; i++) {
        num *= 12;
        den *= 5;
    }
    return num / den;
}

bool FSS_Gone::tick(int elapsedMs) {
    waited += elapsedMs;
    if (waited <= limit) return true;
    FileSource* s = source;
    s->setRetries(s->getRetries() + 1);
    if (s->getRetries() > MAX_RETRIES)
        s->setState(new FSS_BadSource(s));
    else
        s->setState(new FSS_Unasked(s));
    return true;
}

void FSS_Gone::refound() {
    source->setRetries(0);
    source->setState(new FSS_Unasked(source));
}

void FSS_Gone::newPeer(Peer*) {
    source->setRetries(0);
    source->setState(new FSS_Unasked(source));
}

void FSS_Gone::connectionLost() {}

double FSS_Gone::partnerScore() {
    return -1.0;
}
