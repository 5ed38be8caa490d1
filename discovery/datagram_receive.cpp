#include "discovery/datagram_receive.h"

#include "runtime/result_codes.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

int receive_datagram(IUdpSocket* socket, const std::atomic<int>& closing, char* buffer, std::size_t size,
                     ReceiveTally& tally, const char* who, const std::function<void(long, const char*)>& handle) {
    char source[UDP_ADDRESS_SIZE] = {};
    long received = socket->receive(buffer, size, source);
    if (received > 0) {
        handle(received, source);
        return RC_OK;
    }
    if (closing.load()) return RC_FAIL;
    if (received == 0) {
        TRACE_MSG(who, "empty datagram from %s dropped (%d so far)\n", source, tally.empty.fetch_add(1) + 1);
        return RC_OK;
    }
    TRACE_MSG(who, "recvfrom error\nerror_code = %d, %d receive errors so far\n", socket->last_error(),
              tally.errors.fetch_add(1) + 1);
    rt_sleep_ms(kReceiveErrorPauseMs);
    return RC_OK;
}
