// The pin an assistant of the chain checks the service's certificate
// against: the SHA-256 of the certificate's public key (its DER
// SubjectPublicKeyInfo), as 64 hex digits. A pin of the key rather than of
// the certificate holds across a renewal that keeps the key.
#pragma once
#include <optional>
#include <string>

// The pin of the first certificate of a PEM text; nothing when it holds none.
std::optional<std::string> CertificatePin(const std::string& pem);
