// The core task thread (the socket pool), like the settings behind it.
#pragma once

#include "net/BandwidthSettings.h"

// The socket pool's view of the client's settings: limits and rates are read from them,
// learned top speeds written back, so that they are stored in pref.met.
class CoreBandwidth : public BandwidthSettings {
public:
    double uploadLimit() const override;
    double downloadLimit() const override;
    double uploadRate() const override;
    double downloadRate() const override;
    double maxUpSpeed() const override;
    double maxDownSpeed() const override;
    void setMaxUpSpeed(double v) override;
    void setMaxDownSpeed(double v) override;
};
