// Native half of the release signature: OpenSSL, as the service and the
// native tests have it.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <vector>

#include "crypto/release_signature.h"

struct Sha256Hasher::State {
  EVP_MD_CTX* context = nullptr;
  bool ok = false;
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {
  state_->context = EVP_MD_CTX_new();
  state_->ok = state_->context && EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) == 1;
}

Sha256Hasher::~Sha256Hasher() = default;

void Sha256Hasher::Update(const void* data, std::size_t size) {
  if (state_->ok && size > 0) state_->ok = EVP_DigestUpdate(state_->context, data, size) == 1;
}

std::optional<Sha256Digest> Sha256Hasher::Finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  if (!state_->ok || EVP_DigestFinal_ex(state_->context, digest.data(), &length) != 1 ||
      length != digest.size()) {
    state_->ok = false;
    return std::nullopt;
  }
  state_->ok = false;  // a finished hash takes nothing more
  return digest;
}

namespace {

// The public key as OpenSSL's key object: the P-256 group and the
// uncompressed point 0x04 || X || Y (decoding it checks it lies on the curve).
EVP_PKEY* PublicKeyOf(const ReleaseKey& key) {
  unsigned char point[1 + 64];
  point[0] = 0x04;
  std::copy(key.begin(), key.end(), point + 1);
  char group[] = "prime256v1";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point),
      OSSL_PARAM_construct_end()};
  EVP_PKEY* pkey = nullptr;
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
  if (!context || EVP_PKEY_fromdata_init(context) != 1 ||
      EVP_PKEY_fromdata(context, &pkey, EVP_PKEY_PUBLIC_KEY, const_cast<OSSL_PARAM*>(params)) != 1) {
    pkey = nullptr;
  }
  EVP_PKEY_CTX_free(context);
  return pkey;
}

// r || s as the DER sequence OpenSSL verifies; empty when it cannot be made.
std::vector<unsigned char> DerSignature(const ReleaseSignature& signature) {
  std::vector<unsigned char> der;
  ECDSA_SIG* sig = ECDSA_SIG_new();
  BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
  if (sig && r && s && ECDSA_SIG_set0(sig, r, s) == 1) {
    r = s = nullptr;  // owned by sig now
    unsigned char* out = nullptr;
    const int length = i2d_ECDSA_SIG(sig, &out);
    if (length > 0) der.assign(out, out + length);
    OPENSSL_free(out);
  }
  BN_free(r);
  BN_free(s);
  ECDSA_SIG_free(sig);
  return der;
}

}  // namespace

bool VerifyP256Signature(const ReleaseKey& key, const Sha256Digest& digest,
                         const ReleaseSignature& signature) {
  const std::vector<unsigned char> der = DerSignature(signature);
  EVP_PKEY* pkey = PublicKeyOf(key);
  EVP_PKEY_CTX* context = pkey ? EVP_PKEY_CTX_new(pkey, nullptr) : nullptr;
  const bool valid = context && !der.empty() && EVP_PKEY_verify_init(context) == 1 &&
                     EVP_PKEY_verify(context, der.data(), der.size(), digest.data(), digest.size()) == 1;
  EVP_PKEY_CTX_free(context);
  EVP_PKEY_free(pkey);
  return valid;
}
