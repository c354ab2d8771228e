// Called on the core task thread under the asking download's lock.
//
// How a download makes its sources. The peer side defines makeSource (until it
// does, no peer source is made); makeFromText hands a "bcp" text to makeSource and
// any other text to the transfer gateway's protocol handlers.
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
    // A source for a source text: the peer a well-formed "bcp" text names, else
    // what the first protocol handler makes of it (an HTTP address); null for none.
    virtual FileSourceInterface* makeFromText(const char* text, Download* download);
};
