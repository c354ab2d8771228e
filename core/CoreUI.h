// Events of the core. Nothing reports through it yet; any thread.
#pragma once

class CoreUI {
public:
    virtual ~CoreUI() {}
    virtual void notify() {}
};

extern CoreUI* theCoreUI;
