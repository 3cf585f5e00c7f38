#include "central/release/release_key.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "central/config/central_config.h"

namespace {

std::string OpenSslError() {
  const unsigned long code = ERR_get_error();
  if (code == 0) return "OpenSSL failed";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return text;
}

bool IsP256(EVP_PKEY* pkey) {
  char group[64] = {};
  std::size_t length = 0;
  return EVP_PKEY_is_a(pkey, "EC") &&
         EVP_PKEY_get_utf8_string_param(pkey, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) == 1 &&
         std::strcmp(group, "prime256v1") == 0;
}

// X || Y of the key's public point, 32 big-endian bytes each.
std::optional<ReleaseKey> PublicPoint(EVP_PKEY* pkey) {
  BIGNUM* x = nullptr;
  BIGNUM* y = nullptr;
  ReleaseKey key{};
  const bool ok = EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_EC_PUB_X, &x) == 1 &&
                  EVP_PKEY_get_bn_param(pkey, OSSL_PKEY_PARAM_EC_PUB_Y, &y) == 1 &&
                  BN_bn2binpad(x, key.data(), 32) == 32 && BN_bn2binpad(y, key.data() + 32, 32) == 32;
  BN_free(x);
  BN_free(y);
  if (!ok) return std::nullopt;
  return key;
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

}  // namespace

struct ReleaseSigner::Key {
  EVP_PKEY* pkey = nullptr;
  explicit Key(EVP_PKEY* p) : pkey(p) {}
  ~Key() { EVP_PKEY_free(pkey); }
};

ReleaseSigner::ReleaseSigner(std::unique_ptr<Key> key, const ReleaseKey& publicKey)
    : key_(std::move(key)), publicKey_(publicKey) {}

ReleaseSigner::~ReleaseSigner() = default;

std::unique_ptr<ReleaseSigner> ReleaseSigner::Load(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  // A key others can read is a key others may have: every assistant built
  // with it would run what they sign.
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    std::fclose(file);
    error = path + ": others can read or write it (mode " + ModeText(info.st_mode) +
            "); make it the owner's alone (chmod 600) and think of it as seen";
    return nullptr;
  }
  auto key = std::make_unique<Key>(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr));
  std::fclose(file);
  if (!key->pkey) {
    error = path + ": no private key in PEM (" + OpenSslError() + ")";
    return nullptr;
  }
  const std::optional<ReleaseKey> point = IsP256(key->pkey) ? PublicPoint(key->pkey) : std::nullopt;
  if (!point) {
    error = path + ": not an ECDSA P-256 key";
    return nullptr;
  }
  return std::unique_ptr<ReleaseSigner>(new ReleaseSigner(std::move(key), *point));
}

std::unique_ptr<ReleaseSigner> ReleaseSigner::Generate(const std::string& path, std::string& error) {
  auto key = std::make_unique<Key>(EVP_EC_gen("P-256"));
  const std::optional<ReleaseKey> point = key->pkey ? PublicPoint(key->pkey) : std::nullopt;
  if (!point) {
    error = "cannot make a key: " + OpenSslError();
    return nullptr;
  }
  // Created here, never over an existing file, readable by this user alone
  // from its first byte.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::FILE* file = fdopen(fd, "wb");
  bool written = false;
  if (file) {
    written = PEM_write_PrivateKey(file, key->pkey, nullptr, nullptr, 0, nullptr, nullptr) == 1 &&
              std::fflush(file) == 0 && fsync(fd) == 0;
    written = std::fclose(file) == 0 && written;
  } else {
    close(fd);
  }
  if (!written) {
    unlink(path.c_str());
    error = path + ": cannot be written";
    return nullptr;
  }
  return std::unique_ptr<ReleaseSigner>(new ReleaseSigner(std::move(key), *point));
}

std::optional<ReleaseSignature> ReleaseSigner::Sign(const std::string& bytes) const {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  std::size_t length = 0;
  unsigned char der[128];
  bool ok = context && EVP_DigestSignInit(context, nullptr, EVP_sha256(), nullptr, key_->pkey) == 1 &&
            EVP_DigestSign(context, nullptr, &length, reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size()) == 1 &&
            length <= sizeof der &&
            EVP_DigestSign(context, der, &length, reinterpret_cast<const unsigned char*>(bytes.data()),
                           bytes.size()) == 1;
  EVP_MD_CTX_free(context);
  if (!ok) return std::nullopt;
  // OpenSSL writes the DER sequence of r and s; the assistant takes r || s.
  const unsigned char* in = der;
  ECDSA_SIG* sig = d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length));
  ReleaseSignature signature{};
  ok = sig && BN_bn2binpad(ECDSA_SIG_get0_r(sig), signature.data(), 32) == 32 &&
       BN_bn2binpad(ECDSA_SIG_get0_s(sig), signature.data() + 32, 32) == 32;
  ECDSA_SIG_free(sig);
  if (!ok) return std::nullopt;
  return signature;
}

std::string ReleaseKeyPath(const CentralConfig& config) {
  return config.releaseKeyFile.empty() ? config.dataDir + "/release-key.pem" : config.releaseKeyFile;
}

std::string SignatureFileText(const ReleaseSignature& signature) {
  return ReleaseHexText(signature.data(), signature.size()) + "\n";
}
