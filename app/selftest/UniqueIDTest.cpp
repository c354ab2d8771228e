#include "app/selftest/UniqueIDTest.h"

#include <cstdint>
#include <cstring>

#include "core/UIGateway.h"
#include "util/UniqueID.h"

bool UniqueIDTest::run() {
    theUI->printLine(" UniqueID test:");
    // Each fill and the bit that bit i must read for it.
    const struct {
        uint8_t fill;
        int even;
        int odd;
    } cases[] = {{0x00, 0, 0}, {0xFF, 1, 1}, {0xAA, 1, 0}, {0x55, 0, 1}};
    for (const auto& c : cases) {
        uint8_t id[UniqueID::SIZE];
        memset(id, c.fill, sizeof id);
        for (uint32_t i = 0; i < 128; ++i)
            if (UniqueID::getBit(id, i) != (i % 2 == 0 ? c.even : c.odd)) return false;
    }
    return true;
}
