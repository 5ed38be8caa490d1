/*
 * kaltro_abort.h - giving up a device's waits when the caller is stopped.
 *
 * A device that accepts a connection and then never answers holds a call of
 * the library until its time limit (connect 5 s, each request 10 s). A caller
 * that runs the library on worker threads, and wants them back at once when
 * its job is stopped, gives each worker thread an abort check.
 */
#ifndef KALTRO_ABORT_H
#define KALTRO_ABORT_H

#include "kaltro_client.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Asked on the calling thread; non-zero means "give up now". */
typedef int32_t (*NETWORK_ABORT_CB)(void *user);

/* Sets the abort check of the calling thread; a null check clears it.
 * While the check answers non-zero, every call this thread makes that waits
 * on a device (connecting, logging in, a request, a write the device does not
 * take) returns NETWORK_ERR_NETWORK within about 100 ms. A request given up
 * this way closes its login's connection (the disconnect event follows), as a
 * request that timed out does. Logout and StopUpgrade never wait on the
 * device then. Other threads are not affected. Returns NETWORK_OK. */
KALTRO_API int32_t Network_ClientSetThreadAbortCB(NETWORK_ABORT_CB check, void *user);

#ifdef __cplusplus
}
#endif

#endif
