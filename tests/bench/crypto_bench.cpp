// Throughput of the envelope, MD5 and CRC-32 next to OpenSSL on the same data.
// Figures only; nothing here is asserted.
#include <benchmark/benchmark.h>

#define OPENSSL_SUPPRESS_DEPRECATED  // DES lives in OpenSSL 3's deprecated API
#include <openssl/des.h>
#include <openssl/evp.h>

#include <cstring>
#include <random>
#include <string>

#include "crypto/base64.h"
#include "crypto/crc32.h"
#include "crypto/envelope.h"
#include "crypto/md5.h"
#include "util/hex.h"

namespace {

std::string Bytes(std::size_t n) {
  std::mt19937 gen(1);
  std::string out(n, '\0');
  for (auto& c : out) c = static_cast<char>(9 + gen() % 200);  // survives opening
  return out;
}

constexpr auto kRow1 = hex::ToBytes<16>(TOLLIMER_DES_ROW1);

void Des_Crypt_Seal(benchmark::State& state) {
  const std::string plain = Bytes(static_cast<std::size_t>(state.range(0)));
  std::string out;
  for (auto _ : state) {
    Des_Crypt(plain, 1, 1, 0, false, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Des_Crypt_Open(benchmark::State& state) {
  std::string sealed;
  Des_Crypt(Bytes(static_cast<std::size_t>(state.range(0))), 1, 1, 0, false, sealed);
  std::string out;
  for (auto _ : state) {
    Des_Crypt(sealed, 2, 1, 0, false, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The central-service request as sent: UTF-8 switch and Base64 on.
void Des_Crypt_SealUtf8Base64(benchmark::State& state) {
  const std::string plain = Bytes(static_cast<std::size_t>(state.range(0)));
  std::string out;
  for (auto _ : state) {
    Des_Crypt(plain, 1, 1, 1, true, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// OpenSSL DES-CBC over the same padded bytes, key schedule included per call
// as in Des_Crypt.
void OpenSsl_DesCbc(benchmark::State& state, int direction) {
  std::string data = Bytes(static_cast<std::size_t>(state.range(0)));
  data.append(8 - data.size() % 8, static_cast<char>(8 - data.size() % 8));
  std::string out(data.size(), '\0');
  for (auto _ : state) {
    DES_cblock key, iv;
    std::memcpy(key, kRow1.data(), 8);
    std::memcpy(iv, kRow1.data() + 8, 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    DES_ncbc_encrypt(reinterpret_cast<const unsigned char*>(data.data()),
                     reinterpret_cast<unsigned char*>(out.data()), static_cast<long>(data.size()), &schedule,
                     &iv, direction);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
void OpenSsl_DesCbc_Encrypt(benchmark::State& state) { OpenSsl_DesCbc(state, DES_ENCRYPT); }
void OpenSsl_DesCbc_Decrypt(benchmark::State& state) { OpenSsl_DesCbc(state, DES_DECRYPT); }

void MD5_Ours(benchmark::State& state) {
  const std::string data = Bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(MD5_Digest(data.data(), data.size()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void MD5_OpenSsl(benchmark::State& state) {
  const std::string data = Bytes(static_cast<std::size_t>(state.range(0)));
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int len;
  for (auto _ : state) {
    EVP_Digest(data.data(), data.size(), md, &len, EVP_md5(), nullptr);
    benchmark::DoNotOptimize(md);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Crc32_Bytes(benchmark::State& state) {
  const std::string data = Bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Crc32(0, data.data(), data.size()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void Base64_EncodeDecode(benchmark::State& state) {
  const std::string data = Bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(Base64_Decode(Base64_Encode(data)));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

}  // namespace

// 1 KiB: a central-service request; 1 MiB: bulk throughput.
BENCHMARK(Des_Crypt_Seal)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(OpenSsl_DesCbc_Encrypt)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(Des_Crypt_Open)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(OpenSsl_DesCbc_Decrypt)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(Des_Crypt_SealUtf8Base64)->Arg(1 << 10)->Arg(1 << 20);
BENCHMARK(MD5_Ours)->Arg(64)->Arg(1 << 20);
BENCHMARK(MD5_OpenSsl)->Arg(64)->Arg(1 << 20);
BENCHMARK(Crc32_Bytes)->Arg(1 << 20);
BENCHMARK(Base64_EncodeDecode)->Arg(1 << 20);

BENCHMARK_MAIN();
