#pragma once

#include <string>

#include "onvif/onvif_device.h"
#include "search/identity_pool.h"

// Sessions with ONVIF cameras over the device service client, with this
// login, from `card` when one is chosen (a session then leaves by the card
// the search was sent from), each call bounded by the client's own time-outs
// (the pool's budget bounds the whole camera).
DeviceFactory onvif_sessions(onvif::Credentials login, std::string card);
