/*
 * kaltro_client.h - C API of the device client library (libkaltro_client.so).
 *
 * The library logs in to a camera over TCP, reads and writes its settings,
 * drives its controls, streams firmware to it and reports device events.
 * The wire protocol is described in docs/device-protocol.md.
 *
 * Conventions:
 *  - Handles (login, transfer, live) are signed 32-bit; -1 means "none".
 *    A handle is valid from the call that returns it until the matching
 *    Logout / StopUpgrade / StopLive; any call with a stale or -1 handle
 *    fails with NETWORK_ERR_INVALID_HANDLE.
 *  - Every call returns a signed 32-bit result, NETWORK_OK (0) on success.
 *  - Texts are UTF-8, NUL-terminated. Record texts are fixed fields that the
 *    library always hands back NUL-terminated.
 *  - Records are little-endian with natural alignment; sizes are fixed and
 *    checked below.
 *  - Every function may be called from any thread; calls on one handle from
 *    several threads are serialised inside the library.
 */
#ifndef KALTRO_CLIENT_H
#define KALTRO_CLIENT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define KALTRO_API __attribute__((visibility("default")))
#else
#define KALTRO_API
#endif

#ifdef __cplusplus
#define KALTRO_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define KALTRO_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* ---- Result codes ------------------------------------------------------ */

enum {
    NETWORK_OK = 0,
    NETWORK_ERR_FAIL = 1,                   /* the device refused or failed the request */
    NETWORK_ERR_UPGRADE_SAME_VERSION = 2,   /* firmware has the running version */
    NETWORK_ERR_UPGRADE_BOARD_TYPE = 3,     /* firmware is for another board */
    NETWORK_ERR_INVALID_HANDLE = 4,         /* -1, stale or unknown handle */
    NETWORK_ERR_INVALID_ARG = 5,            /* null pointer, bad size, text too long */
    NETWORK_ERR_NOT_SUPPORTED = 6,          /* operation not available (yet) */
    NETWORK_ERR_TIMEOUT = 7,                /* no answer in time; the connection is dropped */
    NETWORK_ERR_NOT_INITIALIZED = 8,        /* Network_ClientInit was not called */
    NETWORK_ERR_UPGRADE_RUNNING = 9,        /* a firmware transfer already runs on this login */
    NETWORK_ERR_UPGRADE_INVALID_FILE = 10,  /* firmware file unreadable or corrupt */
    NETWORK_ERR_PROTOCOL = 11,              /* the peer broke the protocol; disconnected */
    NETWORK_ERR_USER = 12,                  /* user name refused */
    NETWORK_ERR_PASSWORD = 13,              /* password refused */
    NETWORK_ERR_LOGIN_REFUSED = 14,         /* the device refuses every login */
    NETWORK_ERR_MAX_USER = 15,              /* too many users logged in */
    NETWORK_ERR_BUSY = 16,                  /* the device cannot take the request now */
    NETWORK_ERR_NETWORK = 17                /* connection failed or lost: log in again and repeat */
};

/* ---- Events ------------------------------------------------------------ */

/* Main event codes (second word of DEVICE_EVENT). */
#define EVENT_DISCONNECTED 0x10001 /* the login's connection is gone; sent once per login */

typedef struct DEVICE_EVENT {
    int32_t size;  /* sizeof(DEVICE_EVENT) */
    int32_t main;  /* EVENT_* */
    int32_t sub;   /* detail, 0 when none */
    int32_t param; /* detail, 0 when none */
} DEVICE_EVENT;

/* Called on a library thread, never with a library lock held. The handle is
 * the login handle the callback was registered for. Return 0. */
typedef int32_t (*NETWORK_EVENT_CB)(int32_t handle, DEVICE_EVENT *event, void *user);

/* ---- Command numbers (Get/SetDeviceConfig) ----------------------------- */

#define NETWORK_CMD_GET_USB_INFO 910      /* get: USB_INFO */
#define NETWORK_CMD_GET_TIME 1000         /* get: DEVICE_TIME */
#define NETWORK_CMD_SET_TIME 1001         /* set: DEVICE_TIME */
#define NETWORK_CMD_SHELL 1036            /* set: 128-byte NUL-terminated command line */
#define NETWORK_CMD_CUSTOMER_CFG 1060     /* set: CUSTOMER_CFG */
#define NETWORK_CMD_GET_DEVICE_INFO 1100  /* get: IPC_DEVICE_INFO */
#define NETWORK_CMD_LOGO_START 1420       /* set: int32 total length of the logo */
#define NETWORK_CMD_LOGO_DATA 1421        /* set: next piece, at most LOGO_PIECE_MAX bytes */
#define NETWORK_CMD_LOGO_FINISH 1422      /* set: no data (null, 0) */

#define NETWORK_SHELL_LINE_SIZE 128
#define LOGO_PIECE_MAX 1024

/* LDR / light settings (Network_ClientLDRControl). */
#define NETWORK_CMD_LIGHT_MODE 1042       /* 1 soft light, 2 hard light */
#define NETWORK_CMD_LIGHT_TYPE 1043       /* 2 hard, 4 double, 5 white, 6 infrared */
#define NETWORK_CMD_SPEAKER 1044          /* 0 off, 1 on */
#define NETWORK_CMD_MIC 1045              /* 0 off, 1 on */
#define NETWORK_CMD_MODULE_DIRECTION 1046 /* 0 normal, 1 reverse */

/* Device control codes (Network_ClientDeviceControl). */
#define DEVICE_CTRL_RESTORE_FACTORY 2 /* arguments 0, 0, 0 */
#define DEVICE_CTRL_RESET_PWD 4       /* arguments 0, 0, 0 */
#define DEVICE_CTRL_LIGHT 100         /* arguments 0, on (1/0), light (1 white, 0 infrared) */

/* PTZ movements (PTZ_PARAM.move). */
#define PTZ_MOVE_UP 0
#define PTZ_MOVE_DOWN 1
#define PTZ_MOVE_LEFT 2
#define PTZ_MOVE_RIGHT 3
#define PTZ_MOVE_STOP 8

/* Live commands (Network_ClientLiveControl). */
#define LIVE_CTRL_MIC_TEST_START 3 /* argument unused (0) */
#define LIVE_CTRL_MIC_TEST_STOP 4  /* argument unused (0) */
#define LIVE_CTRL_VIDEO_TARGET 6   /* argument: uint32_t * video target id */
#define LIVE_CTRL_OPTIONS 10       /* argument: uint32_t * option bits */
#define LIVE_CTRL_ZOOM 11          /* argument: ZOOM_PARAM * */

/* ---- Records ----------------------------------------------------------- */

/* Device clock, NETWORK_CMD_GET_TIME / NETWORK_CMD_SET_TIME. */
typedef struct DEVICE_TIME {
    uint8_t reserved0[36]; /* device's own, written back unchanged */
    int32_t mode;          /* device's own; 5 for group-1 devices */
    uint8_t reserved1[8];  /* device's own, written back unchanged */
    int32_t year;          /* local time */
    int32_t month;         /* 1-12 */
    int32_t day;           /* 1-31 */
    int32_t hour;          /* 0-23 */
    int32_t minute;        /* 0-59 */
    int32_t second;        /* 0-59 */
} DEVICE_TIME;

/* Settings record, NETWORK_CMD_CUSTOMER_CFG. Each value follows its apply
 * flag: 1 = take the value, 0 = leave the device's setting alone. */
typedef struct CUSTOMER_CFG {
    int32_t set_time_zone;
    int32_t time_zone; /* seconds east of UTC */
    int32_t set_time_format;
    int32_t time_format; /* 0-3 */
    int32_t set_language;
    int32_t language; /* 0-20 */
    int32_t set_video_standard;
    int32_t video_standard; /* 1 NTSC, 2 PAL, 5 group-1 devices */
    int32_t set_password;
    char password[32]; /* NUL-terminated, at most 31 bytes */
    uint8_t reserved0[24];
    int32_t set_wifi_ch_max;
    int32_t wifi_ch_max;
    int32_t set_wifi_ch_default;
    int32_t wifi_ch_default; /* 0 = automatic */
    int32_t set_network;
    int32_t dhcp_enable;
    int32_t set_ip;
    int32_t ip[5]; /* static address block: address and four more values */
    uint8_t reserved1[1024];
} CUSTOMER_CFG;

/* Device identity, NETWORK_CMD_GET_DEVICE_INFO. */
typedef struct IPC_DEVICE_INFO {
    char board_name[32];
    uint32_t board_id;
    uint8_t reserved0[4];
    char mac[64]; /* "aa:bb:cc:dd:ee:ff" */
    char software_version[64];
    uint8_t reserved1[512];
    char pid[64];     /* app product id */
    char uid[64];     /* app UID */
    char qrcode[128]; /* app QR text */
} IPC_DEVICE_INFO;

/* Storage, NETWORK_CMD_GET_USB_INFO. */
typedef struct USB_INFO {
    int32_t disk_cnt; /* number of storage cards */
    uint8_t reserved0[48];
    char disk_text[128]; /* text shown for the TF card */
} USB_INFO;

/* Capabilities, Network_ClientGetCameraAdvanceConfig. Each field one signed byte. */
typedef struct CAMERA_ADVANCE_CONFIG {
    int8_t reserved0[4];
    int8_t mic;     /* 1 = present */
    int8_t speaker; /* 1 = present */
    int8_t reserved1[2];
    int8_t ptz;        /* 1 = pan/tilt present */
    int8_t light_type; /* 0 none, 1 double, 2 white, 3 infrared, 4-6 PWM double/white/infrared */
    int8_t reserved2;
    int8_t light_mode; /* 2 = hard light mode, other = soft */
    int8_t reserved3[52];
} CAMERA_ADVANCE_CONFIG;

/* Network_ClientPTZControl. */
typedef struct PTZ_PARAM {
    uint32_t cmd;  /* 1 = move */
    uint32_t move; /* PTZ_MOVE_* */
    uint32_t speed;
    uint32_t reserved;
} PTZ_PARAM;

/* Network_ClientStartLive. The video target is an id the front end
 * registered for its video area; frames for it are delivered there. */
typedef struct LIVE_PARAM {
    uint32_t channel;      /* 0 */
    uint32_t video_target; /* video target id, 0 = none */
    uint32_t stream;       /* 2 */
} LIVE_PARAM;

/* LIVE_CTRL_ZOOM argument: factor and centre in video-area pixels. */
typedef struct ZOOM_PARAM {
    int32_t value;
    int32_t x;
    int32_t y;
} ZOOM_PARAM;

KALTRO_STATIC_ASSERT(sizeof(DEVICE_EVENT) == 16, "DEVICE_EVENT size");
KALTRO_STATIC_ASSERT(sizeof(DEVICE_TIME) == 72, "DEVICE_TIME size");
KALTRO_STATIC_ASSERT(offsetof(DEVICE_TIME, mode) == 36, "DEVICE_TIME.mode");
KALTRO_STATIC_ASSERT(offsetof(DEVICE_TIME, year) == 48, "DEVICE_TIME.year");
KALTRO_STATIC_ASSERT(sizeof(CUSTOMER_CFG) == 1164, "CUSTOMER_CFG size");
KALTRO_STATIC_ASSERT(offsetof(CUSTOMER_CFG, password) == 36, "CUSTOMER_CFG.password");
KALTRO_STATIC_ASSERT(offsetof(CUSTOMER_CFG, set_wifi_ch_max) == 92, "CUSTOMER_CFG.set_wifi_ch_max");
KALTRO_STATIC_ASSERT(offsetof(CUSTOMER_CFG, set_network) == 108, "CUSTOMER_CFG.set_network");
KALTRO_STATIC_ASSERT(offsetof(CUSTOMER_CFG, ip) == 120, "CUSTOMER_CFG.ip");
KALTRO_STATIC_ASSERT(offsetof(CUSTOMER_CFG, reserved1) == 140, "CUSTOMER_CFG.reserved1");
KALTRO_STATIC_ASSERT(sizeof(IPC_DEVICE_INFO) == 936, "IPC_DEVICE_INFO size");
KALTRO_STATIC_ASSERT(offsetof(IPC_DEVICE_INFO, mac) == 40, "IPC_DEVICE_INFO.mac");
KALTRO_STATIC_ASSERT(offsetof(IPC_DEVICE_INFO, software_version) == 104, "IPC_DEVICE_INFO.software_version");
KALTRO_STATIC_ASSERT(offsetof(IPC_DEVICE_INFO, pid) == 680, "IPC_DEVICE_INFO.pid");
KALTRO_STATIC_ASSERT(offsetof(IPC_DEVICE_INFO, uid) == 744, "IPC_DEVICE_INFO.uid");
KALTRO_STATIC_ASSERT(offsetof(IPC_DEVICE_INFO, qrcode) == 808, "IPC_DEVICE_INFO.qrcode");
KALTRO_STATIC_ASSERT(sizeof(USB_INFO) == 180, "USB_INFO size");
KALTRO_STATIC_ASSERT(offsetof(USB_INFO, disk_text) == 52, "USB_INFO.disk_text");
KALTRO_STATIC_ASSERT(sizeof(CAMERA_ADVANCE_CONFIG) == 64, "CAMERA_ADVANCE_CONFIG size");
KALTRO_STATIC_ASSERT(offsetof(CAMERA_ADVANCE_CONFIG, ptz) == 8, "CAMERA_ADVANCE_CONFIG.ptz");
KALTRO_STATIC_ASSERT(offsetof(CAMERA_ADVANCE_CONFIG, light_mode) == 11, "CAMERA_ADVANCE_CONFIG.light_mode");
KALTRO_STATIC_ASSERT(sizeof(LIVE_PARAM) == 12, "LIVE_PARAM size");

/* ---- Operations -------------------------------------------------------- */

/* Counted: every Init needs one UnInit; the last UnInit logs out every
 * login, stops every transfer and joins the library's threads. */
KALTRO_API int32_t Network_ClientInit(void);
KALTRO_API int32_t Network_ClientUnInit(void);

/* Logs in; *handle is the new login handle, or -1 on failure. Results:
 * NETWORK_OK, NETWORK_ERR_USER, NETWORK_ERR_PASSWORD, NETWORK_ERR_MAX_USER,
 * NETWORK_ERR_BUSY, NETWORK_ERR_NETWORK (no connection), NETWORK_ERR_TIMEOUT,
 * NETWORK_ERR_LOGIN_REFUSED, NETWORK_ERR_PROTOCOL. */
KALTRO_API int32_t Network_ClientLogin(int32_t *handle, const char *ip, int32_t port,
                                       const char *user, const char *password);
KALTRO_API int32_t Network_ClientLogout(int32_t handle);

/* Registers (or, with a null callback, removes) the login's event callback. */
KALTRO_API int32_t Network_ClientSetEventCB(int32_t handle, NETWORK_EVENT_CB callback, void *user);

/* Starts streaming the firmware file at `path` to the device. The device
 * checks the file first: NETWORK_ERR_UPGRADE_SAME_VERSION,
 * NETWORK_ERR_UPGRADE_BOARD_TYPE, NETWORK_ERR_UPGRADE_INVALID_FILE. */
KALTRO_API int32_t Network_ClientStartUpgrade(int32_t *upgrade_handle, int32_t handle, const char *path);
/* *progress 0..100; 100 = the device has the whole image and accepted it. */
KALTRO_API int32_t Network_ClientGetUpgradeStatus(int32_t upgrade_handle, int32_t *progress);
/* Aborts a running transfer, or releases a finished one. */
KALTRO_API int32_t Network_ClientStopUpgrade(int32_t upgrade_handle);

/* Reads a record of `size` bytes for `command` into `data`. A device
 * answer of NETWORK_ERR_NETWORK asks the caller to log in again and repeat. */
KALTRO_API int32_t Network_ClientGetDeviceConfig(int32_t handle, int32_t command, int32_t channel,
                                                 void *data, int32_t size);
KALTRO_API int32_t Network_ClientSetDeviceConfig(int32_t handle, int32_t command, int32_t channel,
                                                 const void *data, int32_t size);

KALTRO_API int32_t Network_ClientDeviceControl(int32_t handle, int32_t code, int32_t arg1, int32_t arg2,
                                               int32_t arg3);
KALTRO_API int32_t Network_ClientLDRControl(int32_t handle, int32_t command, int32_t value);
KALTRO_API int32_t Network_ClientIrcutControl(int32_t handle, int32_t open);
KALTRO_API int32_t Network_ClientPlayVoiceData_test(int32_t handle, int32_t enable);
KALTRO_API int32_t Network_ClientPTZControl(int32_t handle, int32_t channel, const PTZ_PARAM *param);

/* Live video. The last two arguments are reserved and must be 0. */
KALTRO_API int32_t Network_ClientStartLive(int32_t *live_handle, int32_t handle, const LIVE_PARAM *param,
                                           void *reserved1, void *reserved2);
KALTRO_API int32_t Network_ClientStopLive(int32_t live_handle);
KALTRO_API int32_t Network_ClientLiveControl(int32_t live_handle, int32_t command, void *argument);

/* Reads the 64-byte CAMERA_ADVANCE_CONFIG; `size` must be 64. */
KALTRO_API int32_t Network_ClientGetCameraAdvanceConfig(int32_t handle, int32_t channel, void *config,
                                                        int32_t size);

#ifdef __cplusplus
}
#endif

#endif /* KALTRO_CLIENT_H */
