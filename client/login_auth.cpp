#include "client/login_auth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <vector>

namespace kaltro {

namespace {
constexpr char kLabel[] = "kaltro-login-v1";
}

bool make_nonce(Nonce& nonce) { return RAND_bytes(nonce.data(), static_cast<int>(nonce.size())) == 1; }

Proof login_proof(const std::string& password, const Nonce& device_nonce, const Nonce& client_nonce,
                  const std::string& user) {
    std::vector<std::uint8_t> message(kLabel, kLabel + sizeof(kLabel) - 1);
    message.insert(message.end(), device_nonce.begin(), device_nonce.end());
    message.insert(message.end(), client_nonce.begin(), client_nonce.end());
    message.insert(message.end(), user.begin(), user.end());
    Proof proof{};
    unsigned int length = 0;
    HMAC(EVP_sha256(), password.data(), static_cast<int>(password.size()), message.data(), message.size(),
         proof.data(), &length);
    return proof;
}

bool proof_equal(const Proof& a, const std::uint8_t* b) { return CRYPTO_memcmp(a.data(), b, a.size()) == 0; }

}  // namespace kaltro
