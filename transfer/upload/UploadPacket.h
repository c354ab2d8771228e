// Built and written on the core task thread.
#pragma once

#include "net/TCPPacket.h"

class Upload;

// A data packet that counts its bytes to its upload and, once written whole, asks it for
// the next block: so two packets stay in flight.
class UploadPacket : public TCPPacket {
public:
    // Takes a reference on the upload.
    UploadPacket(int32_t payloadLength, Upload* upload);
    ~UploadPacket() override;

    int writeTo(i4_file* stream, int32_t* count) override;
    void onSent() override;

private:
    Upload* upload;
};
