#pragma once

// The moving test picture a simulated camera streams as live video: colour
// bars that scroll with time, a bouncing block, and the camera's MAC and
// clock written large, so a person watching can tell the stream is live and
// from which camera. Encoded as JPEG for the native stream; the RTSP server
// takes the raw picture.

#include <cstdint>
#include <string>
#include <vector>

struct LivePictureSize {
    int width = 640;
    int height = 360;
};

class LivePicture {
public:
    explicit LivePicture(LivePictureSize size = {});
    ~LivePicture();
    LivePicture(const LivePicture&) = delete;
    LivePicture& operator=(const LivePicture&) = delete;

    // Draws frame `sequence` showing `mac` and `clock` and encodes it; an
    // empty result means the encoder failed.
    std::vector<std::uint8_t> render_jpeg(std::uint32_t sequence, const std::string& mac, const std::string& clock);
    // The same picture unencoded: width * height * 3 bytes, R, G, B. Valid
    // until the next render.
    std::vector<std::uint8_t>& render_rgb(std::uint32_t sequence, const std::string& mac, const std::string& clock);

    int width() const { return m_size.width; }
    int height() const { return m_size.height; }

private:
    void draw(std::uint32_t sequence, const std::string& mac, const std::string& clock);
    void fill(int x, int y, int w, int h, std::uint32_t rgb);
    void text(int x, int y, int scale, const std::string& line, std::uint32_t rgb);

    LivePictureSize m_size;
    std::vector<std::uint8_t> m_rgb;
    void* m_encoder;  // tjhandle
};

// The wall clock as the picture shows it: "HH:MM:SS.mmm" (local time), now
// or at `epoch_ms` (ms since the epoch).
std::string live_clock_text();
std::string live_clock_text(std::int64_t epoch_ms);
