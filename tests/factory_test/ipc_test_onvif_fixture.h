#pragma once

// The test bench against the simulator's ONVIF cameras (with their RTSP
// streams) on a loopback network of this process, beside the native
// fixture's. Streams run in real time, so time is not sped up here.

#include "ipc_test_fixture.h"
#include "sim/onvif/onvif_side.h"

class IpcTestOnvif : public IpcTestFixture {
protected:
    void SetUp() override {
        IpcTestFixture::SetUp();
        rt_set_time_speed(1);
    }
    void TearDown() override {
        IpcTestFixture::TearDown();
        if (m_onvif) m_onvif->stop();
    }

    // `count` ONVIF cameras with these settings items, then the bench opened.
    void start_onvif(const std::string& settings = "", int count = 1) {
        SimOptions options;
        options.count = 0;
        options.onvif_count = count;
        const int pid = static_cast<int>(getpid());
        options.onvif_base_ip = "127." + std::to_string(100 + pid % 100) + "." + std::to_string(pid / 100 % 250) + ".60";
        options.http_port = 8080;
        options.version = "1.0.0";
        m_onvif_simulator = std::make_unique<Simulator>(options);
        OnvifSideOptions onvif;
        onvif.wsd_port = 0;
        onvif.rtsp_port = 0;
        onvif.down_ms = 2000;
        onvif.accounts = {{kBenchUser, kBenchPassword}};
        if (!settings.empty()) onvif.settings_texts["*"] = {settings};
        m_onvif = std::make_unique<OnvifSide>(*m_onvif_simulator, onvif);
        ASSERT_EQ(m_onvif->start(), "");
        open();
    }
    OnvifCamera& camera(int index = 0) { return *m_onvif->cameras().at(index); }
    nlohmann::json dump(int index = 0) { return camera(index).to_json(); }
    nlohmann::json rtsp(int index = 0) { return m_onvif->rtsp_json(camera(index).identity().mac); }

    // Lists ONVIF camera `index` as the search reports one whose identity it read.
    void list_onvif(int index = 0) {
        const CameraIdentity id = camera(index).identity();
        FoundCamera found;
        found.id = 1000 + index;
        found.protocol = DeviceProtocol::onvif;
        found.key = found.mac = id.mac;
        found.ip = id.ip;
        found.software_ver = id.version;
        found.xaddr = camera(index).device_xaddr();
        found.model = camera(index).settings().model;
        found.identity = IdentityState::known;
        m_dlg->update_found_camera(found, true);
        pump();
    }
    // Brings camera `index` up (its row is `row`) with the version check on.
    int bring_up_onvif(int row = 0) {
        version_check(true, "1.0.0");
        return m_dlg->ipc_login_live(row);
    }
    bool ptz_moving() { return dump()["ptz"]["moving"].get<bool>(); }

    std::unique_ptr<Simulator> m_onvif_simulator;
    std::unique_ptr<OnvifSide> m_onvif;
};

