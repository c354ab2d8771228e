#include "net/BandwidthSettings.h"

BandwidthSettings::BandwidthSettings()
    : upLimit(0),
      downLimit(0),
      upRate(0),
      downRate(0),
      upSpeed(DEFAULT_TOP_SPEED),
      downSpeed(DEFAULT_TOP_SPEED) {}

BandwidthSettings::~BandwidthSettings() {}
