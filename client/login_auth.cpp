#include "client/login_auth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <vector>

namespace kaltro {

namespace {
constexpr char kClientLabel[] = "kaltro-login-v1";
constexpr char kDeviceLabel[] = "kaltro-device-v1";

template <std::size_t N>
Proof keyed_hash(const char (&label)[N], const std::string& password, const Nonce& first, const Nonce& second,
                 const std::string& user) {
    std::vector<std::uint8_t> message(label, label + N - 1);
    message.insert(message.end(), first.begin(), first.end());
    message.insert(message.end(), second.begin(), second.end());
    message.insert(message.end(), user.begin(), user.end());
    Proof proof{};
    unsigned int length = 0;
    HMAC(EVP_sha256(), password.data(), static_cast<int>(password.size()), message.data(), message.size(),
         proof.data(), &length);
    return proof;
}
}  // namespace

bool make_nonce(Nonce& nonce) { return RAND_bytes(nonce.data(), static_cast<int>(nonce.size())) == 1; }

Proof login_proof(const std::string& password, const Nonce& device_nonce, const Nonce& client_nonce,
                  const std::string& user) {
    return keyed_hash(kClientLabel, password, device_nonce, client_nonce, user);
}

Proof device_proof(const std::string& password, const Nonce& client_nonce, const Nonce& device_nonce,
                   const std::string& user) {
    return keyed_hash(kDeviceLabel, password, client_nonce, device_nonce, user);
}

bool proof_equal(const Proof& a, const std::uint8_t* b) { return CRYPTO_memcmp(a.data(), b, a.size()) == 0; }

bool device_proof_valid(const std::string& password, const Nonce& client_nonce, const Nonce& device_nonce,
                        const std::string& user, const std::uint8_t* answer, std::size_t length) {
    return length == kProofSize && answer != nullptr &&
           proof_equal(device_proof(password, client_nonce, device_nonce, user), answer);
}

}  // namespace kaltro
