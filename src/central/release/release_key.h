// The operator's release key: made once by `keygen`, kept as a PEM file that
// only its owner can read (best on the operator's own machine, away from the
// service), and used by `release sign` (or `release add` on a machine that
// keeps everything) to sign each release's statement (ECDSA P-256 over the
// SHA-256 of the statement's text, through OpenSSL). Assistants built with
// its public half swap in only releases it signed.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "crypto/release_signature.h"

struct CentralConfig;

class ReleaseSigner {
 public:
  ~ReleaseSigner();
  ReleaseSigner(const ReleaseSigner&) = delete;
  ReleaseSigner& operator=(const ReleaseSigner&) = delete;

  // Reads a P-256 private key in PEM. Nothing, with `error` filled, when the
  // file cannot be read, others than its owner may read or write it, or it
  // holds another kind of key.
  static std::unique_ptr<ReleaseSigner> Load(const std::string& path, std::string& error);

  // Makes a new key pair and writes it to `path` with mode 0600. Never
  // replaces a file: nothing, with `error` filled, when `path` exists or
  // cannot be written.
  static std::unique_ptr<ReleaseSigner> Generate(const std::string& path, std::string& error);

  // The public half, in the form -DTOLLIMER_RELEASE_KEY takes.
  const ReleaseKey& PublicKey() const { return publicKey_; }

  // The signature of the whole of `bytes` (a release statement's text);
  // nothing when OpenSSL failed.
  std::optional<ReleaseSignature> Sign(const std::string& bytes) const;

 private:
  struct Key;
  explicit ReleaseSigner(std::unique_ptr<Key> key, const ReleaseKey& publicKey);

  std::unique_ptr<Key> key_;
  ReleaseKey publicKey_{};
};

// Where the service keeps its release key: the configured file, else
// release-key.pem in the data folder.
std::string ReleaseKeyPath(const CentralConfig& config);

// The signature file of a release: its text form, one line.
std::string SignatureFileText(const ReleaseSignature& signature);
