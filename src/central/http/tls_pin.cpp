#include "central/http/tls_pin.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

#include "crypto/service_pin.h"

std::optional<std::string> CertificatePin(const std::string& pem) {
  const std::unique_ptr<BIO, decltype(&BIO_free)> in(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())),
                                                     BIO_free);
  if (!in) return std::nullopt;
  const std::unique_ptr<X509, decltype(&X509_free)> cert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr),
                                                         X509_free);
  if (!cert) return std::nullopt;
  unsigned char* der = nullptr;
  const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert.get()), &der);
  if (length <= 0) return std::nullopt;
  const std::optional<std::string> pin = ServicePinText(der, static_cast<std::size_t>(length));
  OPENSSL_free(der);
  return pin;
}
