// CNG's HMAC steps against a table of calls that fail each in turn: the
// error names the call, every handle opened is given back once, and the
// digest is left alone. The real bcrypt.dll is checked by RFC 4231's
// vectors (platform_hmac_test.cpp).
#include <cstring>
#include <string>

#include "platform/win32/win32_cng.h"
#include "test_support.h"

namespace hdsn {
namespace {

// What the fake calls did; reset by each test. Plain values: the calls are
// bare function pointers, as GetProcAddress gives them.
struct CngLog {
  const char* failing;  // the call that fails, or ""
  ULONG writtenLength;  // what BCryptGetProperty says it wrote
  int opened, closed, created, destroyed;
  ULONG objectLength;  // the hash object's buffer as handed over
  bool objectGiven;
  std::string* key;
};
CngLog g_log;

constexpr NTSTATUS kFailure = static_cast<NTSTATUS>(0xC0000001L);
const auto kAlgorithm = reinterpret_cast<BCRYPT_ALG_HANDLE>(0x10);
const auto kHash = reinterpret_cast<BCRYPT_HASH_HANDLE>(0x20);

bool Fails(const char* call) { return std::strcmp(g_log.failing, call) == 0; }

NTSTATUS WINAPI Open(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR id, LPCWSTR, ULONG flags) {
  if (Fails("BCryptOpenAlgorithmProvider") || std::wcscmp(id, L"SHA256") != 0 ||
      flags != BCRYPT_ALG_HANDLE_HMAC_FLAG)
    return kFailure;
  ++g_log.opened;
  *algorithm = kAlgorithm;
  return 0;
}

NTSTATUS WINAPI GetProperty(BCRYPT_HANDLE, LPCWSTR property, PUCHAR output, ULONG size,
                            ULONG* written, ULONG) {
  if (Fails("BCryptGetProperty") || std::wcscmp(property, L"ObjectLength") != 0 ||
      size != sizeof(DWORD))
    return kFailure;
  const DWORD length = 300;
  std::memcpy(output, &length, sizeof length);
  *written = g_log.writtenLength;
  return 0;
}

NTSTATUS WINAPI CreateHash(BCRYPT_ALG_HANDLE algorithm, BCRYPT_HASH_HANDLE* hash, PUCHAR object,
                           ULONG objectLength, PUCHAR secret, ULONG secretLength, ULONG) {
  if (Fails("BCryptCreateHash") || algorithm != kAlgorithm) return kFailure;
  g_log.objectGiven = object != nullptr;
  g_log.objectLength = objectLength;
  if (secret == nullptr) return kFailure;  // CNG refuses a null key
  g_log.key->assign(reinterpret_cast<const char*>(secret), secretLength);
  ++g_log.created;
  *hash = kHash;
  return 0;
}

NTSTATUS WINAPI HashData(BCRYPT_HASH_HANDLE hash, PUCHAR input, ULONG, ULONG) {
  return Fails("BCryptHashData") || hash != kHash || input == nullptr ? kFailure : 0;
}

NTSTATUS WINAPI FinishHash(BCRYPT_HASH_HANDLE hash, PUCHAR output, ULONG size, ULONG) {
  if (Fails("BCryptFinishHash") || hash != kHash || size != kSha256Size) return kFailure;
  std::memset(output, 0xAB, size);
  return 0;
}

NTSTATUS WINAPI DestroyHash(BCRYPT_HASH_HANDLE hash) {
  if (hash == kHash) ++g_log.destroyed;
  return 0;
}

NTSTATUS WINAPI Close(BCRYPT_ALG_HANDLE algorithm, ULONG) {
  if (algorithm == kAlgorithm) ++g_log.closed;
  return 0;
}

struct CngCase {
  const char* name;
  const char* failing;
  ULONG writtenLength;
  const char* error;
  int handles;  // 0: none opened; 1: the provider; 2: the provider and the hash
};

class CngHmac : public testing::TestWithParam<CngCase> {};

TEST_P(CngHmac, NamesTheFailedCallAndGivesEveryHandleBack) {
  const CngCase& c = GetParam();
  std::string key;
  g_log = CngLog{c.failing, c.writtenLength, 0, 0, 0, 0, 0, false, &key};
  const CngCalls cng{Open, GetProperty, CreateHash, HashData, FinishHash, DestroyHash, Close};
  Sha256Digest digest{};
  digest.fill(0x11);
  EXPECT_EQ(CngHmacSha256(cng, {}, {}, digest), c.error);
  EXPECT_EQ(g_log.opened, c.handles >= 1 ? 1 : 0);
  EXPECT_EQ(g_log.closed, g_log.opened);
  EXPECT_EQ(g_log.created, c.handles >= 2 ? 1 : 0);
  EXPECT_EQ(g_log.destroyed, g_log.created);
  if (c.handles >= 2) {
    // The empty salt is a key of no bytes, not a null one, in a hash
    // object of the length the provider asked for.
    EXPECT_EQ(key, "");
    EXPECT_TRUE(g_log.objectGiven);
    EXPECT_EQ(g_log.objectLength, 300u);
  }
  Sha256Digest expected{};
  expected.fill(*c.error == '\0' ? 0xAB : 0x11);
  EXPECT_EQ(digest, expected) << "the digest must be written only when whole";
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CngHmac,
    testing::Values(
        CngCase{"AllSucceed", "", 4, "", 2},
        CngCase{"OpenFails", "BCryptOpenAlgorithmProvider", 4,
                "BCryptOpenAlgorithmProvider: 0xC0000001", 0},
        CngCase{"PropertyFails", "BCryptGetProperty", 4, "BCryptGetProperty: 0xC0000001", 1},
        CngCase{"PropertyShort", "", 2, "BCryptGetProperty: 0xC000000D", 1},
        CngCase{"CreateFails", "BCryptCreateHash", 4, "BCryptCreateHash: 0xC0000001", 1},
        CngCase{"HashDataFails", "BCryptHashData", 4, "BCryptHashData: 0xC0000001", 2},
        CngCase{"FinishFails", "BCryptFinishHash", 4, "BCryptFinishHash: 0xC0000001", 2}),
    sim::RowName());

}  // namespace
}  // namespace hdsn
