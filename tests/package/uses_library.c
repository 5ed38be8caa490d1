/* A program of its own that uses the installed client library: both headers
 * compile as C, and the library loads, starts and stops. */
#include <kaltro_client.h>
#include <kaltro_live.h>
#include <stdio.h>

static void on_frame(uint32_t target, const KALTRO_VIDEO_FRAME *frame, void *user) {
    (void)target, (void)frame, (void)user;
}

int main(void) {
    uint32_t target = 0;
    int32_t handle = -1;
    if (Network_ClientInit() != NETWORK_OK) return 1;
    /* Port 0 is refused before anything is sent. */
    if (Network_ClientLogin(&handle, "127.0.0.1", 0, "Admin", "") != NETWORK_ERR_INVALID_ARG || handle != -1) return 2;
    if (Network_ClientRegisterVideoTarget(&target, on_frame, NULL) != NETWORK_OK || target == 0) return 3;
    if (Network_ClientUnregisterVideoTarget(target) != NETWORK_OK) return 4;
    if (Network_ClientUnInit() != NETWORK_OK) return 5;
    puts("kaltro_client: init, video target, uninit");
    return 0;
}
