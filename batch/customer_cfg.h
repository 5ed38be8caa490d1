#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "batch/job_params.h"
#include "batch/job_steps.h"
#include "client/kaltro_client.h"

// The device settings record of command 1060 (CUSTOMER_CFG, 1164 bytes,
// little-endian) is declared with the client library's records.
static_assert(std::endian::native == std::endian::little, "records are sent in little-endian layout");

// The largest default password the record can carry, in bytes.
constexpr std::size_t kMaxDevicePasswordBytes = 31;

// Fills `cfg` with the job's settings for one device, as the settings step
// does at the start of a pass. Returns true when a user-chosen setting was
// filled (the record then has to be sent); the group-1 video standard alone
// does not count.
bool fill_customer_cfg(CUSTOMER_CFG& cfg, const JOB_STEPS& steps, const JobParams& params,
                       bool group1);
