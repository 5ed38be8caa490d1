#pragma once

// FFmpeg's own messages go to the trace, errors only, each line once however
// often it repeats in a row (a broken stream repeats the same complaint for
// every picture), and with the user information of any URL cut out, so a
// login never reaches a trace line. Process-wide; the first call installs it.

#include <string>

namespace rtsp {

void route_ffmpeg_messages();

// `line` with every "scheme://user:password@" shortened to "scheme://".
std::string without_logins(std::string line);

}  // namespace rtsp
