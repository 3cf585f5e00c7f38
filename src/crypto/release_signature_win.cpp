// Windows half of the release signature: CNG (bcrypt.dll), which every
// supported Windows has, for the SHA-256 and the ECDSA P-256 verification.
#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "crypto/release_signature.h"

namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// An algorithm provider, closed when the scope ends.
class Provider {
 public:
  explicit Provider(LPCWSTR algorithm) {
    if (!Succeeded(BCryptOpenAlgorithmProvider(&handle_, algorithm, nullptr, 0))) handle_ = nullptr;
  }
  ~Provider() {
    if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

}  // namespace

struct Sha256Hasher::State {
  Provider provider{BCRYPT_SHA256_ALGORITHM};
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool ok = false;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
  }
};

Sha256Hasher::Sha256Hasher() : state_(std::make_unique<State>()) {
  // The hash object's memory is left to CNG (null buffer): Windows 7 and later.
  state_->ok = state_->provider.get() &&
               Succeeded(BCryptCreateHash(state_->provider.get(), &state_->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256Hasher::~Sha256Hasher() = default;

void Sha256Hasher::Update(const void* data, std::size_t size) {
  auto* bytes = static_cast<PUCHAR>(const_cast<void*>(data));
  while (state_->ok && size > 0) {
    const ULONG piece = size > (1u << 30) ? (1u << 30) : static_cast<ULONG>(size);
    state_->ok = Succeeded(BCryptHashData(state_->hash, bytes, piece, 0));
    bytes += piece;
    size -= piece;
  }
}

std::optional<Sha256Digest> Sha256Hasher::Finish() {
  Sha256Digest digest{};
  const bool ok = state_->ok && Succeeded(BCryptFinishHash(state_->hash, digest.data(),
                                                           static_cast<ULONG>(digest.size()), 0));
  state_->ok = false;  // a finished hash takes nothing more
  if (!ok) return std::nullopt;
  return digest;
}

bool VerifyP256Signature(const ReleaseKey& key, const Sha256Digest& digest,
                         const ReleaseSignature& signature) {
  Provider ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
  if (!ecdsa.get()) return false;
  // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y.
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
  BCRYPT_ECCKEY_BLOB header{};
  header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  header.cbKey = static_cast<ULONG>(key.size() / 2);
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, key.data(), key.size());
  BCRYPT_KEY_HANDLE publicKey = nullptr;
  if (!Succeeded(BCryptImportKeyPair(ecdsa.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &publicKey, blob.data(),
                                     static_cast<ULONG>(blob.size()), 0))) {
    return false;
  }
  Sha256Digest hash = digest;
  ReleaseSignature copy = signature;
  const bool valid = Succeeded(BCryptVerifySignature(publicKey, nullptr, hash.data(),
                                                     static_cast<ULONG>(hash.size()), copy.data(),
                                                     static_cast<ULONG>(copy.size()), 0));
  BCryptDestroyKey(publicKey);
  return valid;
}
