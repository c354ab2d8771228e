// Called on the core task thread under its download's lock; no lock of its own.
//
// Presents a source that is not a peer to its download.
#pragma once

#include <memory>
#include <vector>

#include "transfer/source/FileSourceInterface.h"

class DownloadInterface;
class OtherSourceInterface;
class ProtocolInterface;

class OtherFileSource : public FileSourceInterface {
public:
    // Takes the source.
    explicit OtherFileSource(OtherSourceInterface* source);
    ~OtherFileSource() override;

    // A source around what the first handler that understands the text makes; null when none does.
    static OtherFileSource* find(const std::vector<std::unique_ptr<ProtocolInterface>>& protocols,
                                 DownloadInterface* download, const char* text);

    double getSpeed() override;
    int getStatus() override;
    const char* getUserName() override;
    const char* getFileName() override;
    void pause() override;
    void diskFull() override;
    void shutdown() override;
    void cancel() override;
    void downloadFinished() override;
    bool tryConnect() override;
    void getRequests(uint32_t starts[3], uint32_t ends[3]) override;
    bool tick(int elapsedMs) override;

    OtherSourceInterface* getSource() { return source.get(); }

private:
    std::unique_ptr<OtherSourceInterface> source;
};
