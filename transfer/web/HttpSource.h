// Called on the core task thread under its download's lock (the download's per-pass tick);
// no lock of its own. Only the connect runs elsewhere, on the source's own connect thread,
// which hands the socket over under that thread's lock.
//
// Fetches byte ranges of a download's file from a web server: GET with Range over one
// keep-alive connection, one range after another, each taken at random among the
// download's missing ranges. States: 0 failed, 1 connect, 2 connecting, 3 send request,
// 4 read response, 5 read body, 6 idle, 7 wait after 503; 8 (inside the source only)
// skips the body of a redirect before the next request on the same connection.
#pragma once

#include <memory>
#include <stdint.h>
#include <string>

#include "transfer/source/OtherSourceInterface.h"
#include "transfer/web/HttpResponse.h"

class DownloadInterface;
class HttpSocketConnectThread;
class i4_socket;

class HttpSource : public OtherSourceInterface {
public:
    enum State { FAILED, CONNECT, CONNECTING, SEND, READ_RESPONSE, READ_BODY, IDLE, WAIT, DRAIN };
    enum {
        BUFFER_BYTES = 10240,
        // A server that answers 200 sends the whole file: only a file of less than one part
        // is taken that way.
        WHOLE_FILE_LIMIT = 9728000,
        MAX_REDIRECTS = 10,
        MAX_503 = 3,
        // Silence in a reading state this long gives the range back.
        STALL_MS = 120000,
        // Connections lost or stalled in a row, without body bytes between, before failing.
        MAX_RETRIES = 5,
        MAX_URL = 4096,
        // Reads per pass: a pass comes every 100 ms or so, and must not starve a fast server.
        READS_PER_TICK = 128,
        // A redirect's body up to this size is read and dropped to keep the connection.
        MAX_DRAIN = 65536,
    };

    // Throws i4_err for a null download or URL.
    HttpSource(DownloadInterface* download, const char* url);
    ~HttpSource() override;

    // An "http://" address with a host, a port 1-65535, no space or control byte.
    static bool usableUrl(const char* url);

    double rate() override;
    int displayState() override;
    void getRanges(uint32_t starts[3], uint32_t ends[3]) override;
    bool activate() override;
    void reset() override;
    void stop() override;
    const char* getSourceName() override;
    const char* getFileName() override;
    bool tick(int elapsedMs) override;

    int getState() const { return state; }

private:
    void startConnect();
    void connecting();
    // False when the download has no range left.
    bool sendRequest();
    void readResponse(int elapsedMs);
    void readBody(int elapsedMs);
    void handleHead(int32_t used, int32_t n);
    bool acceptBody();
    void redirect(int32_t bodyBytes);
    void drain(int elapsedMs);
    void backOff();
    void writeBody(const uint8_t* data, int32_t n);
    // Reads into the buffer: bytes read, 0 none now (counts silence), -1 lost (reconnects).
    int32_t receive(int elapsedMs);
    void lost();
    void closeSocket();
    void releaseCrumbs();
    void setWeights(int delta);
    void sample(int elapsedMs);

    DownloadInterface* download;
    std::string url, host, path, fileName;
    int port;
    i4_socket* socket;
    std::unique_ptr<HttpSocketConnectThread> connector;
    uint8_t buffer[BUFFER_BYTES + 1];
    HttpResponse response;
    std::string request;
    size_t requestSent;

    double ring[8];
    int ringIndex;
    int64_t sampleBytes;
    int sampleMs;

    // [start, end) is the open range (end 0: none); position is the next byte to write,
    // requestFrom the first byte the last request asked for.
    uint32_t start, end, position, requestFrom;
    int shown;
    bool closeAfter;
    int redirects;
    bool weightsAdded;
    int waited, waitLimit, count503;
    int silentMs, retries;
    int64_t drainLeft;
    State state;
};
