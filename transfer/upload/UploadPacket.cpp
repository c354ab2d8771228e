#include "transfer/upload/UploadPacket.h"

#include "transfer/peer/PeerFrame.h"
#include "transfer/upload/Upload.h"

UploadPacket::UploadPacket(int32_t payloadLength, Upload* u)
    : TCPPacket(payloadLength, PeerFrame::MARKER), upload(u) {
    upload->addRef();
}

UploadPacket::~UploadPacket() {
    upload->release();
}

int UploadPacket::writeTo(i4_file* stream, int32_t* count) {
    int r = TCPPacket::writeTo(stream, count);
    upload->addSent(*count);
    return r;
}

void UploadPacket::onSent() {
    upload->sendNext();
}
