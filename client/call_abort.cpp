#include "client/call_abort.h"

namespace kaltro {

namespace {
struct ThreadAbort {
    AbortCheck check = nullptr;
    void* user = nullptr;
};
thread_local ThreadAbort t_abort;
}  // namespace

void set_thread_abort_check(AbortCheck check, void* user) { t_abort = ThreadAbort{check, user}; }

bool call_aborted() { return t_abort.check != nullptr && t_abort.check(t_abort.user) != 0; }

}  // namespace kaltro
