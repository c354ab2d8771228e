// Core task thread reads and writes through it; the values behind it have single writers
// and no lock (as the settings themselves).
#pragma once

// The settings a socket pool budgets and learns from: limits and rates in kilobytes per
// second (0 = no limit), the learned top speeds written back. This base keeps its own
// values (tests, a client without settings); the core's start hands in one over the
// client's settings.
class BandwidthSettings {
public:
    BandwidthSettings();
    virtual ~BandwidthSettings();

    virtual double uploadLimit() const { return upLimit; }
    virtual double downloadLimit() const { return downLimit; }
    // Current total rates, stored by the upload and download pools.
    virtual double uploadRate() const { return upRate; }
    virtual double downloadRate() const { return downRate; }
    virtual double maxUpSpeed() const { return upSpeed; }
    virtual double maxDownSpeed() const { return downSpeed; }
    virtual void setMaxUpSpeed(double v) { upSpeed = v; }
    virtual void setMaxDownSpeed(double v) { downSpeed = v; }

    void setUploadLimit(double v) { upLimit = v; }
    void setDownloadLimit(double v) { downLimit = v; }
    void setUploadRate(double v) { upRate = v; }
    void setDownloadRate(double v) { downRate = v; }

    // The settings' starting top speed.
    static constexpr double DEFAULT_TOP_SPEED = 5.0;

private:
    double upLimit;
    double downLimit;
    double upRate;
    double downRate;
    double upSpeed;
    double downSpeed;
};
