// Any thread: constants only.
#pragma once

#include <cstdint>

// The peer protocol's numbers: the opcode, first byte of every payload, and the caps on what
// a peer may send. A class of its own so that the frames and the connection that handles them
// both carry the names (PeerFrame::OP_PING, Peer::OP_PING).
class PeerProtocol {
public:
    enum Opcode {
        OP_HELLO = 1,
        OP_OUT_OF_DATE = 5,
        OP_DATA = 70,
        OP_REQUEST_RANGES = 71,
        OP_NO_SUCH_FILE = 72,
        OP_CANCEL = 73,
        OP_HELLO_ANSWER = 76,
        OP_ID_CHANGE = 77,
        OP_CHAT = 78,
        OP_FILE_STATUS_REQUEST = 79,
        OP_FILE_STATUS = 80,
        OP_PART_HASH_REQUEST = 81,
        OP_PART_HASHES = 82,
        OP_NO_CHAT = 83,
        OP_UPLOAD_REQUEST = 84,
        OP_SLOT_GRANTED = 85,
        OP_CANCEL_TRANSFER = 86,
        OP_OUT_OF_PARTS = 87,
        OP_FILE_NAME_REQUEST = 88,
        OP_FILE_NAME = 89,
        OP_CONNECT_REQUEST = 90,
        OP_SOURCE_OFFER = 91,
        OP_QUEUE_RANK = 92,
        OP_DIRECTORY_LIST_REQUEST = 93,
        OP_DIRECTORY_FILES_REQUEST = 94,
        OP_DIRECTORY_LIST = 95,
        OP_DIRECTORY_FILES = 96,
        OP_NO_FILE_VIEW = 97,
        OP_PING = 98,
        OP_PING_ANSWER = 99,
        OP_NOTICE = 100,
        OP_PARTNER_REQUEST = 101,
        OP_PARTNER_DENIED = 102,
        OP_PARTNER_ACCEPTED = 103,
        OP_CRUMB_HASHES = 104,
        OP_CRUMB_HASH_REQUEST = 105,
        OP_CRUMB_AVAILABLE = 106,
        OP_ADDRESS_DIFFERS = 107,
    };

    // Texts a peer sends are cut to these.
    enum { MAX_CHAT = 200, MAX_DIRECTORY = 200, MAX_FILE_NAME = 300 };
    // More directory names than this in one list is not a share but an attack.
    static constexpr uint32_t MAX_DIRECTORIES = 10000;
};
