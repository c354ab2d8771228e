#include "transfer/web/HttpSource.h"

#include <string.h>
#include <vector>

#include "i4min/net/i4_socket.h"
#include "i4min/net/i4_split_url.h"
#include "i4min/string/i4_err.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_random.h"
#include "meta/FileParts.h"
#include "transfer/download/DownloadInterface.h"
#include "transfer/web/HttpRequest.h"
#include "transfer/web/HttpSocketConnectThread.h"

namespace {
// Status ids shown for the source.
enum { SHOWN_IDLE = 0, SHOWN_CONNECTING = 1, SHOWN_ASKED = 3, SHOWN_READING = 5, SHOWN_FAILED = 6 };
}  // namespace

HttpSource::HttpSource(DownloadInterface* d, const char* u)
    : download(d), port(80), socket(nullptr), requestSent(0), weightsAdded(false) {
    if (!d || !u) throw i4_err("dli or URL not defined");
    url = u;
    start = end = position = requestFrom = 0;
    reset();
}

HttpSource::~HttpSource() {
    connector.reset();
    closeSocket();
    releaseCrumbs();
    setWeights(-1);
}

bool HttpSource::usableUrl(const char* text) {
    if (!text || strncmp(text, "http://", 7) != 0 || strlen(text) > MAX_URL) return false;
    if (!HttpRequest::usableUrl(text)) return false;
    i4_string scheme, h, p, f;
    int portNumber = 80;
    return i4_split_url(text, &scheme, &h, &p, &f, &portNumber) == 1 && h.length() > 0;
}

double HttpSource::rate() {
    double sum = 0;
    for (double r : ring) sum += r;
    return sum / 8;
}

int HttpSource::displayState() {
    return shown;
}

void HttpSource::getRanges(uint32_t starts[3], uint32_t ends[3]) {
    starts[0] = start;
    ends[0] = end;
    for (int i = 1; i < 3; ++i) starts[i] = ends[i] = 0;
}

bool HttpSource::activate() {
    if (state != IDLE) return false;
    state = CONNECT;
    return true;
}

void HttpSource::reset() {
    connector.reset();
    closeSocket();
    releaseCrumbs();
    redirects = 0;
    closeAfter = false;
    start = end = position = requestFrom = 0;
    for (double& r : ring) r = 0;
    ringIndex = 0;
    sampleBytes = 0;
    sampleMs = 0;
    shown = SHOWN_IDLE;
    waited = waitLimit = count503 = 0;
    silentMs = retries = 0;
    drainLeft = 0;
    request.clear();
    response.clear();
    state = IDLE;
}

void HttpSource::stop() {
    bool active = socket || connector;
    connector.reset();
    closeSocket();
    if (active) {
        state = IDLE;
        shown = SHOWN_IDLE;
    }
}

const char* HttpSource::getSourceName() {
    return url.c_str();
}

const char* HttpSource::getFileName() {
    return fileName.c_str();
}

bool HttpSource::tick(int elapsedMs) {
    switch (state) {
    case FAILED:
        connector.reset();
        closeSocket();
        releaseCrumbs();
        shown = SHOWN_FAILED;
        setWeights(-1);
        return false;
    case CONNECT:
        startConnect();
        break;
    case CONNECTING:
        connecting();
        // A connect thread that never reports (it could not start) is a stall like any other.
        silentMs += elapsedMs > 0 ? elapsedMs : 0;
        if (state == CONNECTING && silentMs >= STALL_MS) lost();
        break;
    case SEND:
        if (!sendRequest()) return false;
        break;
    case READ_RESPONSE:
        readResponse(elapsedMs);
        break;
    case READ_BODY:
        readBody(elapsedMs);
        break;
    case DRAIN:
        drain(elapsedMs);
        break;
    case IDLE:
        shown = SHOWN_IDLE;
        break;
    case WAIT:
        waited += elapsedMs;
        if (waited >= waitLimit) state = CONNECT;
        break;
    }
    sample(elapsedMs);
    return true;
}

void HttpSource::sample(int elapsedMs) {
    if (elapsedMs > 0) sampleMs += elapsedMs;
    if (sampleMs > 1000) {
        ring[ringIndex] = (double)(sampleBytes / sampleMs);
        ringIndex = (ringIndex + 1) % 8;
        sampleBytes = 0;
        sampleMs = 0;
    }
}

void HttpSource::startConnect() {
    connector.reset();
    closeSocket();
    i4_string scheme, h, p, f;
    int portNumber = 80;
    if (!usableUrl(url.c_str()) || !i4_split_url(url.c_str(), &scheme, &h, &p, &f, &portNumber)) {
        state = FAILED;
        return;
    }
    host = h.c_str();
    path = p.c_str();
    fileName = f.c_str();
    port = portNumber;
    connector.reset(new HttpSocketConnectThread(host.c_str(), port));
    connector->start();
    shown = SHOWN_CONNECTING;
    silentMs = 0;
    state = CONNECTING;
}

void HttpSource::connecting() {
    shown = SHOWN_CONNECTING;
    if (!connector) {
        state = CONNECT;
    } else if (i4_socket* s = connector->takeSocket()) {
        connector.reset();
        socket = s;
        request.clear();
        state = SEND;
    } else if (connector->hasFailed()) {
        // Every attempt failed: the source waits idle, holding no range, until the
        // download tries it again.
        connector.reset();
        releaseCrumbs();
        start = end = position = 0;
        request.clear();
        state = IDLE;
        shown = SHOWN_IDLE;
    }
}

bool HttpSource::sendRequest() {
    // The range first: a source with nothing left to ask for opens no connection.
    if (request.empty() && (end == 0 || position >= end)) {
        if (!download->randomChunkRange(start, end)) {
            end = 0;
            return false;
        }
        position = start;
    }
    if (!socket) {
        state = CONNECT;
        return true;
    }
    if (request.empty()) {
        // After a lost connection the range goes on from the first byte not yet written.
        if (!HttpRequest::build(path.c_str(), host.c_str(), port, position, end, request)) {
            state = FAILED;
            return true;
        }
        requestSent = 0;
        requestFrom = position;
    }
    int32_t w =
        socket->write(request.data() + requestSent, (int32_t)(request.size() - requestSent));
    if (w < 0) {
        lost();
        return true;
    }
    requestSent += (size_t)w;
    if (requestSent < request.size()) return true;
    request.clear();
    response.clear();
    silentMs = 0;
    shown = SHOWN_ASKED;
    state = READ_RESPONSE;
    return true;
}

int32_t HttpSource::receive(int elapsedMs) {
    if (!socket) {
        state = CONNECT;
        return -1;
    }
    int32_t n = socket->read(buffer, BUFFER_BYTES);
    if (n < 0) {
        lost();
        return -1;
    }
    if (n == 0) {
        silentMs += elapsedMs > 0 ? elapsedMs : 0;
        if (silentMs >= STALL_MS) lost();
        return 0;
    }
    silentMs = 0;
    shown = SHOWN_READING;
    sampleBytes += n;
    return n;
}

void HttpSource::readResponse(int elapsedMs) {
    for (int i = 0; i < READS_PER_TICK && state == READ_RESPONSE; ++i) {
        int32_t n = receive(elapsedMs);
        if (n <= 0) return;
        // Silence is counted once per pass, not once per read.
        elapsedMs = 0;
        int32_t used = 0;
        HttpResponse::Result r = response.add((const char*)buffer, n, &used);
        if (r == HttpResponse::BAD) {
            state = FAILED;
        } else if (r == HttpResponse::COMPLETE) {
            handleHead(used, n);
        }
    }
}

void HttpSource::handleHead(int32_t used, int32_t n) {
    int status = response.status;
    if (status == 200 || status == 206) {
        if (!acceptBody()) {
            state = FAILED;
            return;
        }
        state = READ_BODY;
        if (n > used) writeBody(buffer + used, n - used);
    } else if (status >= 300 && status <= 399) {
        redirect(n - used);
    } else if (status == 503) {
        backOff();
    } else {
        state = FAILED;
    }
}

bool HttpSource::acceptBody() {
    // Only a body whose end the length tells can be split from the next answer.
    if (response.encodedBody || response.contentLength < 0) return false;
    int64_t length = response.contentLength;
    if (response.status == 200) {
        if (length >= WHOLE_FILE_LIMIT || length != (int64_t)download->getFileSize()) return false;
        releaseCrumbs();
        start = 0;
        end = (uint32_t)length;
        position = 0;
    } else {
        if (!response.hasContentRange || response.rangeFirst != (int64_t)requestFrom ||
            response.rangeLast != (int64_t)end - 1 || length != (int64_t)end - requestFrom)
            return false;
        if (response.rangeTotal >= 0 && response.rangeTotal != (int64_t)download->getFileSize())
            return false;
    }
    if (length != 0) setWeights(+1);
    closeAfter = response.close;
    return true;
}

void HttpSource::writeBody(const uint8_t* data, int32_t n) {
    uint32_t room = end - position;
    uint32_t take = (uint32_t)n < room ? (uint32_t)n : room;
    if (take > 0) {
        // Refused: the download is complete or the disk is full, and this
        // source was stopped or reset meanwhile.
        if (!download->writeData(data, position, position + take)) return;
        position += take;
        count503 = waited = waitLimit = redirects = 0;
        retries = 0;
    }
    if (position < end) return;
    // The range is whole. Bytes past it are no answer to anything asked: the connection
    // cannot be trusted for the next request.
    if (closeAfter || (uint32_t)n > take) closeSocket();
    state = SEND;
}

void HttpSource::readBody(int elapsedMs) {
    for (int i = 0; i < READS_PER_TICK && state == READ_BODY; ++i) {
        int32_t n = receive(elapsedMs);
        if (n <= 0) return;
        elapsedMs = 0;
        writeBody(buffer, n);
    }
}

void HttpSource::redirect(int32_t bodyBytes) {
    const std::string& to = response.location;
    if (redirects >= MAX_REDIRECTS) {
        state = FAILED;
        return;
    }
    bool relative = !to.empty() && to[0] == '/';
    std::string next;
    if (to.compare(0, 7, "http://") == 0) {
        next = to;
    } else if (relative) {
        next = "http://" + host + (port != 80 ? ":" + std::to_string(port) : "") + to;
    }
    if (next.empty() || !usableUrl(next.c_str())) {
        state = FAILED;
        return;
    }
    url = next;
    ++redirects;
    request.clear();
    int64_t length = response.contentLength;
    // A relative location is asked on the same connection once the redirect's own body is
    // read past; a body of unknown or large size, or a closing server, costs a new connection.
    if (relative && !response.close && length >= 0 && length <= MAX_DRAIN && bodyBytes <= length) {
        path = to;
        size_t slash = path.find_last_of('/');
        fileName = path.substr(slash + 1);
        drainLeft = length - bodyBytes;
        state = drainLeft > 0 ? DRAIN : SEND;
        return;
    }
    closeSocket();
    state = CONNECT;
}

void HttpSource::drain(int elapsedMs) {
    for (int i = 0; i < READS_PER_TICK && state == DRAIN; ++i) {
        int32_t n = receive(elapsedMs);
        if (n <= 0) return;
        elapsedMs = 0;
        if (n > drainLeft) {
            // More than the redirect announced: the connection is out of step.
            closeSocket();
            state = CONNECT;
            return;
        }
        drainLeft -= n;
        if (drainLeft == 0) state = SEND;
    }
}

void HttpSource::backOff() {
    closeSocket();
    if (count503 >= MAX_503) {
        waited = waitLimit = 0;
        state = FAILED;
        return;
    }
    waited = 0;
    waitLimit = 60000 + 5000 * count503 + i4_random(59000);
    ++count503;
    shown = SHOWN_ASKED;
    state = WAIT;
}

void HttpSource::lost() {
    connector.reset();
    closeSocket();
    request.clear();
    if (silentMs >= STALL_MS) {
        // A silent server keeps nothing: its range goes back to the download.
        releaseCrumbs();
        start = end = position = 0;
    }
    silentMs = 0;
    state = ++retries > MAX_RETRIES ? FAILED : CONNECT;
}

void HttpSource::closeSocket() {
    delete socket;
    socket = nullptr;
}

void HttpSource::releaseCrumbs() {
    if (end == 0 || position >= end) return;
    // start <= position < end here, so the range is never empty.
    FileParts::Range crumbs = FileParts::crumbsOfRange(start, end);
    for (uint64_t c = crumbs.first; c < crumbs.end; ++c) download->refreshCrumbGaps((int)c);
}

void HttpSource::setWeights(int delta) {
    if ((delta > 0) == weightsAdded) return;
    int count = download->crumbCount();
    if (count > 0) {
        std::vector<uint8_t> all((size_t)count, 1);
        download->changeWeight(all.data(), delta);
    }
    weightsAdded = delta > 0;
}
