// Called on the core task thread under the asking download's lock.
//
// How a download makes its sources, which the peer and link sides define.
// Until they take this over, no source is made: every body answers null.
#pragma once

class Download;
class FileSourceInterface;
class Peer;
class UserMeta;

class SourceMaker {
public:
    virtual ~SourceMaker();
    // A peer source for the user (copied), reached through the connection
    // when one is given.
    virtual FileSourceInterface* makeSource(UserMeta* user, Download* download, Peer* connection);
    // A source for a source text: the peer a "bcp" text names, else what the
    // first registered protocol makes of it (an HTTP address).
    virtual FileSourceInterface* makeFromText(const char* text, Download* download);
};

// Never null: the maker of no sources until the peer side sets its own.
extern SourceMaker* theSourceMaker;
