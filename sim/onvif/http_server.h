#pragma once

// The HTTP side of every ONVIF camera of a simulator run, cheap enough for
// hundreds of them: one acceptor thread listens on each camera's own address
// and port (following a change of address, and closing while the camera
// reboots, so connections are refused as by a rebooting camera), and hands
// each connection to one libmicrohttpd daemon, which serves it on a thread of
// its own. A request's camera is the one whose address it was sent to.
//
// Routes: POST /onvif/device_service, /onvif/media_service,
// /onvif/media2_service, /onvif/ptz_service and /onvif/imaging_service (the
// services the camera offers; the others are 404) and POST
// /onvif/firmware/<ticket> (the upload a StartFirmwareUpgrade announced).

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/onvif/onvif_camera.h"

struct MHD_Daemon;
struct MHD_Connection;

class OnvifHttpServer {
public:
    explicit OnvifHttpServer(std::vector<std::shared_ptr<OnvifCamera>> cameras);
    ~OnvifHttpServer();
    OnvifHttpServer(const OnvifHttpServer&) = delete;
    OnvifHttpServer& operator=(const OnvifHttpServer&) = delete;

    // Listens on every camera's address; "" or the first error.
    std::string start();
    void stop();

    // The camera a connection was made to (by its local address), or null.
    std::shared_ptr<OnvifCamera> camera_of(MHD_Connection* connection) const;
    // Connections opened and closed, for the daemon's notification.
    void connection_opened(MHD_Connection* connection);
    void connection_closed(MHD_Connection* connection);

private:
    struct Listener {
        std::shared_ptr<OnvifCamera> camera;
        int fd = -1;
        std::string ip;
        std::uint16_t port = 0;
        bool warned = false;  // a failed listen is told once
    };

    bool listen_on(Listener& listener);
    void follow(Listener& listener);
    void accept_loop();
    void accept_from(const Listener& listener);
    void drop_connections_to(const std::string& ip);

    std::vector<Listener> m_listeners;
    MHD_Daemon* m_daemon = nullptr;
    std::thread m_acceptor;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;  // guards m_connections
    std::map<MHD_Connection*, std::pair<int, std::string>> m_connections;  // socket and local address
};
