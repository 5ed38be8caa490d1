#include "sim/firmware_tool.h"

#include <cstdio>

#include "client/firmware_format.h"

CLI::App* add_mkfw_command(CLI::App& app, MkfwOptions& o) {
    CLI::App* mkfw = app.add_subcommand("mkfw", "write a firmware file and exit");
    mkfw->add_option("-o,--out", o.out, "file to write")->required();
    mkfw->add_option("--version", o.version, "firmware version a.b.c");
    mkfw->add_option("--board-type", o.board_type, "board type the image is for");
    mkfw->add_option("--board-name", o.board_name, "board name text (at most 31 bytes)");
    mkfw->add_option("--size", o.size, "image size in bytes (suffixes k, m, g)")->transform(CLI::AsSizeValue(false));
    mkfw->add_option("--seed", o.seed, "seed of the image bytes");
    mkfw->add_flag("--corrupt", o.corrupt, "damage the image after its check sum was taken");
    return mkfw;
}

std::string run_mkfw(const MkfwOptions& o) {
    kaltro::FirmwareHeader header;
    if (!kaltro::parse_version(o.version, header.version)) return "version must be a.b.c";
    if (o.size > kaltro::kMaxImageSize) return "image too large";
    header.board_type = o.board_type;
    header.board_name = o.board_name;
    header.image_size = o.size;
    header.description = "simulated camera firmware";
    if (!kaltro::write_firmware_file(o.out, header, o.seed)) return "cannot write " + o.out;
    if (o.corrupt && o.size > 0) {
        FILE* file = std::fopen(o.out.c_str(), "r+b");
        if (file == nullptr) return "cannot reopen " + o.out;
        long at = static_cast<long>(kaltro::kFirmwareHeaderSize + o.size / 2);
        int byte = (std::fseek(file, at, SEEK_SET) == 0) ? std::fgetc(file) : EOF;
        bool ok = byte != EOF && std::fseek(file, at, SEEK_SET) == 0 && std::fputc(byte ^ 0xFF, file) != EOF;
        std::fclose(file);
        if (!ok) return "cannot damage " + o.out;
    }
    return "";
}
