#pragma once

#include "batch/device_access.h"
#include "batch/device_table.h"
#include "discovery/discovery.h"

// The workers' view of a running CDiscovery.
class CDiscoveryLink final : public IDiscoveryLink {
public:
    explicit CDiscoveryLink(CDiscovery& discovery) : m_discovery(discovery) {}
    int ChangeIpPort(const IpChangeRequest& request) override;
    int ChangeIp(const IpChangeRequest& request) override;
    std::optional<std::string> FindIp(const std::string& mac) override;

private:
    CDiscovery& m_discovery;
};

// A discovery record as a list row sees it.
ListedDevice listed_device_from(const DEV_INFO& record);

// The discovery callback that keeps a device table current; user data is
// the CDeviceTable. Runs on discovery's merge thread.
int feed_device_table(DEV_INFO* record, int is_new, void* table);
