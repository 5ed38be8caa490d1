#pragma once

// Challenge-response login. The password never crosses the network: the
// device sends a random nonce, the client answers with
//   HMAC-SHA256(key = password, "kaltro-login-v1" | device nonce | client nonce | user)
// and the device computes the same value from its stored password.

#include <array>
#include <cstdint>
#include <string>

namespace kaltro {

constexpr std::size_t kNonceSize = 32;
constexpr std::size_t kProofSize = 32;
// Longest user name or password either side accepts.
constexpr std::size_t kMaxCredential = 63;

using Nonce = std::array<std::uint8_t, kNonceSize>;
using Proof = std::array<std::uint8_t, kProofSize>;

// Fills `nonce` from the system's cryptographic random source; false on failure.
bool make_nonce(Nonce& nonce);

Proof login_proof(const std::string& password, const Nonce& device_nonce, const Nonce& client_nonce,
                  const std::string& user);

// Constant-time comparison, so timing does not tell how much of a proof matched.
bool proof_equal(const Proof& a, const std::uint8_t* b);

}  // namespace kaltro
