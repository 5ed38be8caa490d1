#pragma once

// "ipcsim mkfw": makes firmware files of any size for tests and demos.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <string>

struct MkfwOptions {
    std::string out;
    std::string version = "1.0.1";
    std::int32_t board_type = 0x20;
    std::string board_name = "SIMBOARD";
    std::uint64_t size = 1024 * 1024;
    std::uint32_t seed = 1;
    bool corrupt = false;  // flip one image byte after hashing (the device refuses it with 10)
};

CLI::App* add_mkfw_command(CLI::App& app, MkfwOptions& options);
// Writes the file; returns "" or an error text.
std::string run_mkfw(const MkfwOptions& options);
