#include "central/base/build_info.h"

#include <openssl/crypto.h>
#include <sqlite3.h>

#ifndef TOLLIMER_CENTRAL_VERSION
#error "TOLLIMER_CENTRAL_VERSION: the build gives the package's version"
#endif

BuildInfo CentralBuildInfo() {
  BuildInfo build;
  build.version = TOLLIMER_CENTRAL_VERSION;
  build.sqlite = sqlite3_libversion();
  build.openssl = OpenSSL_version(OPENSSL_VERSION_STRING);
#if defined(__clang__)
  build.compiler = "Clang " __clang_version__;
#elif defined(__GNUC__)
  build.compiler = "GCC " __VERSION__;
#else
  build.compiler = "unknown compiler";
#endif
  return build;
}

std::string BuildInfoText(const BuildInfo& build) {
  return "tollimer-central " + build.version + " (SQLite " + build.sqlite + ", OpenSSL " + build.openssl + ", " +
         build.compiler + ")";
}
