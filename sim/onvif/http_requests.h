#pragma once

// One HTTP request to a simulated ONVIF camera, as libmicrohttpd delivers it
// (headers first, then the body in pieces, then the end): its route, its
// HTTP login, its body, and the answer. The daemon's callbacks live here.

#include <microhttpd.h>

class OnvifHttpServer;

// The daemon's access handler; `cls` is the OnvifHttpServer.
MHD_Result onvif_http_request(void* cls, MHD_Connection* connection, const char* url, const char* method,
                              const char* version, const char* upload_data, size_t* upload_data_size, void** con_cls);

// The daemon's request-completed notification: reboots a camera whose
// answer said so, now that it is out, and frees the request.
void onvif_http_completed(void* cls, MHD_Connection* connection, void** con_cls, MHD_RequestTerminationCode code);

// The realm of the cameras' digest challenge.
inline constexpr const char* kOnvifRealm = "ipcsim";
