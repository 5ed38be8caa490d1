#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "onvif/onvif_device.h"
#include "onvif/soap_xml.h"

// The device service's answers read into records: first the HTTP answer as
// a whole (status, envelope, fault), then the response element of each
// operation. Nothing here touches the network, so tests and the fuzz target
// feed these the bytes a camera could send.
namespace onvif {

// What came back for one request.
struct HttpAnswer {
    long status = 0;              // HTTP status of the final answer
    std::string body;             // at most kMaxEnvelopeBytes
    bool digest_offered = false;  // a 401 came with a Digest challenge
};

// Judges `answer` to `operation` ("GetDeviceInformation"): Ok when it is
// that operation's response, with the envelope in *out for the reader;
// otherwise the failure (login refused, not supported, fault, bad answer)
// with a one-line detail.
Result read_answer(const HttpAnswer& answer, std::string_view operation, Envelope* out);

// Judges the answer to a firmware upload's POST: any 2xx is taken; 415 is
// the device refusing the file.
Result read_upload_answer(const HttpAnswer& answer);

// A SOAP fault as a result: refused logins, unsupported operations, the rest.
Result fault_result(const Envelope& fault);

// Device text made fit for one line of the trace and the report: control
// characters become spaces, and it is cut at `max_bytes` on a UTF-8 boundary.
std::string one_line(std::string_view text, std::size_t max_bytes = 200);

// Readers of the response element (envelope.body_element) of each
// operation. They fail (BadAnswer) only where a field the tool relies on is
// missing or not what its type says.
Result read_device_information(const Envelope& answer, DeviceInformation* out);
Result read_network_interfaces(const Envelope& answer, std::vector<NetworkInterface>* out);
Result read_services(const Envelope& answer, Services* out);
Result read_system_date_and_time(const Envelope& answer, SystemDateTime* out);
Result read_users(const Envelope& answer, std::vector<User>* out);
Result read_reboot_needed(const Envelope& answer, bool* reboot_needed);
// The UploadUri as the device wrote it (not yet checked to be on the device).
Result read_firmware_upgrade(const Envelope& answer, FirmwareUpgradeTicket* out);

// The longest UploadDelay or ExpectedDownTime taken; a device asking more
// is not believed.
constexpr std::int64_t kMaxDeviceWaitMs = 3600 * 1000;

}  // namespace onvif
