#pragma once

#include <string>

#include "batch/batch_job.h"
#include "batch/device_access.h"
#include "batch/device_table.h"
#include "batch/discovery_link.h"
#include "search/camera_search.h"

// The workers' view of a running combined search: IP changes of native
// devices through its native discovery, addresses of both kinds by MAC.
class CSearchLink final : public IDiscoveryLink {
public:
    explicit CSearchLink(CCameraSearch& search) : m_search(search), m_native(search.native()) {}
    int ChangeIpPort(const IpChangeRequest& request) override { return m_native.ChangeIpPort(request); }
    int ChangeIp(const IpChangeRequest& request) override { return m_native.ChangeIp(request); }
    std::optional<std::string> FindIp(const std::string& mac) override { return m_search.FindIp(mac); }

private:
    CCameraSearch& m_search;
    CDiscoveryLink m_native;
};

// A camera of the combined search as a list row sees it; `key` is the
// search's row id, which a camera keeps when its MAC becomes known or it
// turns out to be native.
ListedDevice listed_device_from(const FoundCamera& camera);

// How a job reaches ONVIF cameras: sessions with their device service that
// leave by the card the search used ("" : any).
OnvifConnector onvif_connector(const std::string& card);
