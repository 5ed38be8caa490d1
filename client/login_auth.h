#pragma once

// Mutual challenge-response login. The password never crosses the network,
// and each side proves it knows it:
//   the device sends a random nonce; the client answers with its own nonce and
//     HMAC-SHA256(key = password, "kaltro-login-v1"  | device nonce | client nonce | user);
//   the device checks that and answers with
//     HMAC-SHA256(key = password, "kaltro-device-v1" | client nonce | device nonce | user),
//   which the client checks in turn. A host that merely accepts any login
//   (a spoofer answering for a camera) cannot produce the second proof.

#include <array>
#include <cstddef>
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

// The client's proof, checked by the device.
Proof login_proof(const std::string& password, const Nonce& device_nonce, const Nonce& client_nonce,
                  const std::string& user);

// The device's proof, checked by the client. Its own label keeps it from
// ever equalling a client proof, whatever nonces a peer picks.
Proof device_proof(const std::string& password, const Nonce& client_nonce, const Nonce& device_nonce,
                   const std::string& user);

// Constant-time comparison, so timing does not tell how much of a proof matched.
bool proof_equal(const Proof& a, const std::uint8_t* b);

// Checks the device's answer to the client's proof: exactly one proof, and the right one.
bool device_proof_valid(const std::string& password, const Nonce& client_nonce, const Nonce& device_nonce,
                        const std::string& user, const std::uint8_t* answer, std::size_t length);

}  // namespace kaltro
