// The pin an assistant of the chain checks the service's certificate against:
// the SHA-256 of the certificate's public key (its DER SubjectPublicKeyInfo),
// written as 64 hex digits. A pin of the key rather than of the certificate
// holds across a renewal that keeps the key. The service's `pin` command
// prints it and the assistant compares with it through these functions.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "crypto/release_signature.h"

using ServicePin = Sha256Digest;

// Exactly 64 hex digits (either case). Nothing for anything else.
std::optional<ServicePin> ParseServicePin(std::string_view digits);

// The pin of a DER SubjectPublicKeyInfo, in the form the service prints it
// (64 lower-case hex digits); nothing when the platform could not hash.
std::optional<std::string> ServicePinText(const std::uint8_t* spki, std::size_t size);

// True when the public key `spki` (DER SubjectPublicKeyInfo) is the pinned one.
bool PublicKeyMatchesPin(const ServicePin& pin, const std::uint8_t* spki, std::size_t size);

// The pin the assistant was built with; nothing for a build without one (it
// then trusts the system's certificate store, the host name checked).
std::optional<ServicePin> CompiledServicePin();

// True only in a build that asked by name (TOLLIMER_INSECURE_TLS) to accept
// any certificate from an https service.
bool CertificateChecksSwitchedOff();
