// What the assistant says about the release key it was built with: a person
// reading its log sees which key its updates must be signed with (by its
// fingerprint, the same one scripts/build-chain prints) and whether that is
// the test key, whose private half everyone has.
#pragma once
#include <optional>
#include <string>

#include "crypto/release_signature.h"

// SHA-256 of the key's 128 upper-case hex digits, as 64 upper-case hex
// digits; empty when the platform could not hash.
std::string ReleaseKeyFingerprint(const ReleaseKey& key);

// True for the test build's key (told by its fingerprint, so a chain's build
// does not carry the test key to recognise it).
bool IsTestReleaseKey(const ReleaseKey& key);

// The start-up log line about `key` (nothing: a build without a key).
std::string ReleaseKeyLogLine(const std::optional<ReleaseKey>& key);
