// Where the record model's messages and listings go. Any thread may print; the
// active sink is set once at start-up (the core points it at its UI gateway) before
// other threads run, so the pointer itself needs no lock.
//
// The record model sits below the core, so it cannot call the UI gateway itself:
// it hands finished texts to this sink instead.
#pragma once

class MetaOutput {
public:
    virtual ~MetaOutput();
    // One line, without its line end.
    virtual void printLine(const char* text);
    virtual void print(const char* text);
    // Shown only in verbose mode; the default sink drops it.
    virtual void debug(const char* text);
    virtual void printFlush(const char* text);
    // The localised text of a string-table key; the default is the fallback.
    virtual const char* localise(const char* key, const char* fallback);
};

// Never null: a default sink printing on standard output until one is set.
extern MetaOutput* theMetaOutput;
// A null sink restores the default.
void setMetaOutput(MetaOutput* out);

// Formatted forms (the base layer's printf engine) that hand the text to the sink.
void metaPrintLine(const char* fmt, ...);
void metaPrint(const char* fmt, ...);
void metaDebug(const char* fmt, ...);
void metaPrintFlush(const char* fmt, ...);
