#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "sim/simulator.h"

// Registers the camera and discovery options of ipcsim on `app`; the device
// side adds its own options to the same app. --config comes first, so CLI11
// applies the file before the other options: what the command line gives wins.
void add_sim_options(CLI::App& app, SimOptions& options);
