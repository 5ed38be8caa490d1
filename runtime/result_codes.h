#pragma once

// Result codes shared by the thread wrapper, the locks, the discovery engine
// and the dialogs that call them.
enum : int {
    RC_OK = 0,
    RC_FAIL = 1,
    RC_ALREADY_STARTED = 6,
    RC_NOT_STARTED = 7,
    RC_INVALID_ARG = 8,
};
