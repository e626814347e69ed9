// This build's HMAC-SHA256 (nettle on Linux, CNG under Wine for the Windows
// build): RFC 4231's test cases, and the empty key that an empty salt is.
#include <string>

#include "protocol/identity.h"
#include "sim/sim_system.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

struct HmacCase {
  const char* name;
  std::string key;
  std::string data;
  // In hex; RFC 4231's case 5 gives the first 128 bits only.
  const char* digest;
};

class HostHmacVectors : public testing::TestWithParam<HmacCase> {};

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST_P(HostHmacVectors, GiveTheDigestsOfRfc4231) {
  const HmacCase& c = GetParam();
  Sha256Digest digest{};
  ASSERT_EQ(HostHmac().HmacSha256(Bytes(c.key), Bytes(c.data), digest), "");
  const std::string hex = HexDigits(digest);
  EXPECT_EQ(hex.substr(0, std::string(c.digest).size()), c.digest);
}

std::string Repeat(int byte, std::size_t count) {
  return std::string(count, static_cast<char>(byte));
}

std::string Ascending(int from, int to) {
  std::string bytes;
  for (int byte = from; byte <= to; ++byte) bytes += static_cast<char>(byte);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostHmacVectors,
    testing::Values(
        HmacCase{"EmptyKeyAndMessage", "", "",
                 "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"},
        HmacCase{"Rfc4231Case1", Repeat(0x0b, 20), "Hi There",
                 "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        HmacCase{"Rfc4231Case2", "Jefe", "what do ya want for nothing?",
                 "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        HmacCase{"Rfc4231Case3", Repeat(0xaa, 20), Repeat(0xdd, 50),
                 "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
        HmacCase{"Rfc4231Case4", Ascending(0x01, 0x19), Repeat(0xcd, 50),
                 "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
        HmacCase{"Rfc4231Case5Truncated", Repeat(0x0c, 20), "Test With Truncation",
                 "a3b6167473100ee06e0c796c2955552b"},
        HmacCase{"Rfc4231Case6KeyLargerThanABlock", Repeat(0xaa, 131),
                 "Test Using Larger Than Block-Size Key - Hash Key First",
                 "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        HmacCase{"Rfc4231Case7KeyAndDataLargerThanABlock", Repeat(0xaa, 131),
                 "This is a test using a larger than block-size key and a larger than block-size "
                 "data. The key needs to be hashed before being used by the HMAC algorithm.",
                 "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"}),
    RowName());

}  // namespace
}  // namespace hdsn::sim
