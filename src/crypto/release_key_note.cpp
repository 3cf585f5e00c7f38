#include "crypto/release_key_note.h"

std::string ReleaseKeyFingerprint(const ReleaseKey& key) {
  const std::string digits = ReleaseHexText(key.data(), key.size());
  Sha256Hasher hasher;
  hasher.Update(digits.data(), digits.size());
  const std::optional<Sha256Digest> digest = hasher.Finish();
  return digest ? ReleaseHexText(digest->data(), digest->size()) : std::string();
}

bool IsTestReleaseKey(const ReleaseKey& key) {
  return ReleaseKeyFingerprint(key) == TOLLIMER_TEST_RELEASE_KEY_SHA256;
}

std::string ReleaseKeyLogLine(const std::optional<ReleaseKey>& key) {
  if (!key) return "ReleaseKey:none,未编入发布密钥,更新不验签名(任何人都能推送程序)";
  const std::string fingerprint = ReleaseKeyFingerprint(*key);
  std::string line = "ReleaseKey:sha256=" + (fingerprint.empty() ? std::string("?") : fingerprint);
  if (IsTestReleaseKey(*key)) line += ",测试密钥(私钥已公开,测试版,不可发给网吧)";
  return line;
}
