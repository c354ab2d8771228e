// Any thread: the numbered texts the server side and its commands print.
#pragma once

#include "core/XMLStringTable.h"

enum ServerText {
    TEXT_NO_SEARCH_EXTEND = 21,
    TEXT_EXTENDING_TO = 22,
    TEXT_NONE = 26,
    TEXT_ADDED = 27,
    TEXT_INVALID_ARGUMENTS = 28,
    TEXT_PLACED_ON_QUEUE = 37,
    TEXT_NOT_CONNECTED = 43,
    TEXT_ALREADY_TRYING = 44,
    TEXT_ALREADY_CONNECTED_TO = 45,
    TEXT_CANT_CONNECT_TO = 46,
    TEXT_ALREADY_CONNECTED = 47,
    TEXT_CONNECTING_TO = 48,
    TEXT_ALREADY_TRYING_THIS = 49,
    TEXT_NO_MORE_EXTEND = 50,
};

inline const char* serverText(ServerText id) {
    const char* text = theXMLStringTable.get(id);
    return text ? text : "";
}
