// The core task thread only: ticked by the upload pool's pass, told by its slots.
#pragma once

class UploadSlot;

// Changes the number of upload slots so that the upload bandwidth is used but not overrun:
// a slot added on trial when the rate is well below the limit (or the peak seen), the
// weakest upload paused on trial when it is near; each verdict is followed by a cool-down.
class SlotTuner {
public:
    enum State { IDLE = 0, WAIT_UPLOAD = 1, ADD_TRIAL = 2, DROP_TRIAL = 3, COOL_DOWN = 4 };
    enum { EVALUATE_MS = 5000, ADD_TRIAL_MS = 30000, DROP_TRIAL_MS = 45000, COOL_DOWN_MS = 60000 };

    // What the tuner reads and changes of the pool; rates in bytes per millisecond.
    class Host {
    public:
        virtual ~Host() {}
        virtual double sendRate() = 0;     // the socket pool's total
        virtual double uploadRate() = 0;   // the sum of the slots' rates
        virtual double uploadLimit() = 0;  // 0: none
        virtual double peakRate() = 0;
        // Slot count, slots with neither upload nor pending peer, and the idle weights.
        virtual void countSlots(int* slots, int* idle, double* idleWeight) = 0;
        virtual UploadSlot* addSlot() = 0;
        // The slots shuffled, then sorted by the pool's order: the first one, or null.
        virtual UploadSlot* firstAfterShuffle() = 0;
        virtual int priorityOf(UploadSlot* slot) = 0;
        virtual const char* nameOf(UploadSlot* slot) = 0;
        virtual void pause(UploadSlot* slot) = 0;
        virtual void resume(UploadSlot* slot) = 0;
        // Off the list, told to the UI, released.
        virtual void remove(UploadSlot* slot) = 0;
    };

    explicit SlotTuner(Host& host);

    void tick(int ms);
    void evaluate();
    void testAdd();
    void testDrop();
    void reallyDrop(UploadSlot* slot);
    void uploadStarted();
    void uploadEnded();
    // The slot is going away by other means: the tuner forgets it.
    void forget(UploadSlot* slot);

    int getState() const { return state; }
    UploadSlot* getTrialSlot() const { return trial; }

private:
    Host& host;
    UploadSlot* trial;
    int timer;
    int state;
    double startRate;
};
