// Called on the core task thread.
//
// What the download side asks of the partner manager. Until that manager
// takes this over there is no room for partners and no highest download to
// remember: the bodies answer so and do nothing.
#pragma once

class Download;

class PartnerSlots {
public:
    virtual ~PartnerSlots();
    virtual bool hasRoom();
    // The one download that may take partners now; null for none.
    virtual void setHighest(Download* download);
};
