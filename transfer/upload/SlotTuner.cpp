#include "transfer/upload/SlotTuner.h"

#include "core/UIGateway.h"

namespace {
const int PARTNER_PRIORITY = 30000;
}

SlotTuner::SlotTuner(Host& h) : host(h), trial(nullptr), timer(0), state(IDLE), startRate(0) {}

void SlotTuner::tick(int ms) {
    timer += ms;
    switch (state) {
    case IDLE:
    case WAIT_UPLOAD:
        if (timer > EVALUATE_MS) {
            timer = 0;
            evaluate();
        }
        break;
    case ADD_TRIAL:
        if (timer > ADD_TRIAL_MS) {
            if (host.uploadRate() * 0.9 > startRate) {
                // The timer runs on, so the next tick evaluates at once.
                state = IDLE;
                trial = nullptr;
            } else {
                state = COOL_DOWN;
                timer = 0;
                UploadSlot* s = trial;
                trial = nullptr;
                reallyDrop(s);
            }
        }
        break;
    case DROP_TRIAL:
        if (timer > DROP_TRIAL_MS) {
            state = COOL_DOWN;
            timer = 0;
            UploadSlot* s = trial;
            trial = nullptr;
            if (host.uploadRate() * 1.05 > startRate)
                reallyDrop(s);
            else if (s)
                host.resume(s);
        }
        break;
    case COOL_DOWN:
        if (timer > COOL_DOWN_MS) {
            state = IDLE;
            timer = 0;
        }
        break;
    }
}

void SlotTuner::evaluate() {
    if (state != IDLE) return;
    int slots = 0, idle = 0;
    double weight = 0;
    host.countSlots(&slots, &idle, &weight);
    if (idle > 0) return;
    double rate = host.sendRate() + weight;
    double limit = host.uploadLimit();
    double reference = limit > 0 ? limit : host.peakRate();
    double low = 0.9 * reference, high = 0.95 * reference;
    double perSlot = slots > 0 ? rate / slots : rate;
    if (rate < low) {
        if (slots < 4 || perSlot >= 0.5) testAdd();
    } else if (rate > high && slots > 3 && perSlot < 5) {
        testDrop();
    }
}

void SlotTuner::testAdd() {
    theUI->debug("Test Add Slot\n");
    timer = 0;
    state = WAIT_UPLOAD;
    trial = host.addSlot();
}

void SlotTuner::testDrop() {
    UploadSlot* s = host.firstAfterShuffle();
    if (!s || host.priorityOf(s) >= PARTNER_PRIORITY) return;
    timer = 0;
    state = DROP_TRIAL;
    startRate = host.uploadRate();
    trial = s;
    host.pause(s);
    theUI->debug("Test Drop: %s\n", host.nameOf(s));
}

void SlotTuner::reallyDrop(UploadSlot* slot) {
    theUI->debug("reallyDrop(): %s", slot ? host.nameOf(slot) : "");
    if (!slot || host.priorityOf(slot) >= PARTNER_PRIORITY) return;
    host.remove(slot);
}

void SlotTuner::uploadStarted() {
    if (state == WAIT_UPLOAD) {
        state = ADD_TRIAL;
        timer = 0;
        startRate = host.uploadRate();
        return;
    }
    uploadEnded();
}

void SlotTuner::uploadEnded() {
    if (state == ADD_TRIAL) {
        state = COOL_DOWN;
        timer = 0;
        trial = nullptr;
    } else if (state == DROP_TRIAL) {
        state = COOL_DOWN;
        timer = 0;
        UploadSlot* s = trial;
        trial = nullptr;
        if (s) host.resume(s);
    }
}

void SlotTuner::forget(UploadSlot* slot) {
    if (trial == slot) trial = nullptr;
}
