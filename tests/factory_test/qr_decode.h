#pragma once

// Reads a QR symbol out of a picture with an independent decoder (zbarimg,
// Debian zbar-tools), as a scanner on the production line would.

#include <unistd.h>

#include <QImage>
#include <QString>
#include <cstdio>
#include <string>

// The decoded text, "" when nothing was read; "zbarimg missing" when the
// decoder is not installed.
inline std::string decode_qr(const QImage& image) {
    if (access("/usr/bin/zbarimg", X_OK) != 0) return "zbarimg missing";
    const std::string path = "/tmp/tervane_qr_" + std::to_string(getpid()) + ".png";
    if (!image.save(QString::fromStdString(path), "PNG")) return "";
    std::string text;
    if (FILE* out = popen(("/usr/bin/zbarimg -q --raw " + path + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, out)) text += buffer;
        pclose(out);
    }
    std::remove(path.c_str());
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}
