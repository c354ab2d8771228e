// Pure; any thread.
//
// A "bcp" source text names a peer:
//   bcp://<user hash, 32 hex digits>:<server ip>:<server port>   a low-id user behind that server
//   bcp://<ip>:<port>                                            a user at that address
// Fields are separated by ':'; empty fields are skipped. Ips are dotted quads, ports 1-65535.
#pragma once

class UserMeta;

class BcpText {
public:
    // True when the text begins with "bcp:", whether or not the rest is sound.
    static bool isBcp(const char* text);
    // Fills the user (hash, ip, port, server ip and port; the rest left alone) from a
    // well-formed text; false, with the user unchanged, for anything else.
    static bool parse(const char* text, UserMeta* user);
};
