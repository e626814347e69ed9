// What the drive's own data says of a disk's identity: IDENTIFY's words,
// the device identification and block device characteristics pages, NVMe's
// identify namespace data and identification descriptors, the namespace
// serial of the SCSI translation, and sizes as lsblk writes them. Each
// reader gets exactly the bytes of its row in a buffer of their size, so
// that AddressSanitizer stops a read past them.
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "disks/disk_table.h"
#include "protocol/ata.h"
#include "protocol/byte_order.h"
#include "protocol/nvme.h"
#include "protocol/scsi.h"
#include "test_support.h"

namespace hdsn::sim {
namespace {

// The identity in one line, its fields in the document's order, only those
// given: "wwn=0x5000c500a1b2c3d4 size=2000398934016 sectors=512/4096
// rotational=true rate=7200 placeholders=nguid:all zero".
std::string Described(const DiskIdentity& identity) {
  std::string out;
  const auto add = [&](const std::string& text) { out += (out.empty() ? "" : " ") + text; };
  for (const auto& [name, text] :
       {std::pair{"wwn", identity.wwn}, std::pair{"eui64", identity.eui64},
        std::pair{"nguid", identity.nguid}, std::pair{"uuid", identity.uuid}})
    if (text) add(std::string(name) + "=" + *text);
  if (identity.size) add("size=" + std::to_string(*identity.size));
  if (identity.logicalSectorSize || identity.physicalSectorSize)
    add("sectors=" +
        (identity.logicalSectorSize ? std::to_string(*identity.logicalSectorSize) : "-") + "/" +
        (identity.physicalSectorSize ? std::to_string(*identity.physicalSectorSize) : "-"));
  if (identity.rotational)
    add(std::string("rotational=") + (*identity.rotational ? "true" : "false"));
  if (identity.rotationRate) add("rate=" + std::to_string(*identity.rotationRate));
  std::string placeholders;
  for (const Placeholder& placeholder : identity.placeholders)
    placeholders +=
        (placeholders.empty() ? "" : ",") + placeholder.field + ":" + placeholder.reason;
  if (!placeholders.empty()) add("placeholders=" + placeholders);
  return out;
}

// ---- IDENTIFY DEVICE ----

struct WordsCase {
  const char* name;
  std::map<int, std::uint16_t> words;  // every other word 0
  std::size_t bytes;                   // of the data the reader gets
  const char* expected;
};

class IdentifyIdentity : public testing::TestWithParam<WordsCase> {};

TEST_P(IdentifyIdentity, ReadsEachValueOnlyWhereItsWordsCameAndSaySo) {
  std::vector<std::uint8_t> data(GetParam().bytes, 0);
  for (const auto& [word, value] : GetParam().words)
    if (2 * static_cast<std::size_t>(word) + 2 <= data.size())
      StoreLe16(data.data() + 2 * word, value);
  EXPECT_EQ(Described(ReadIdentifyIdentity(data)), GetParam().expected);
}

// Words of a drive with LBA, 48-bit addressing of 3907029168 sectors
// (2 TB) and an NAA 5 name.
const std::map<int, std::uint16_t> kDrive = {
    {49, 0x0200},  {60, 0xFFFF}, {61, 0x0FFF},  {83, 0x4400},  {100, 0x88B0}, {101, 0xE8E0},
    {106, 0x4000}, {87, 0x4100}, {108, 0x5000}, {109, 0xC500}, {110, 0xA1B2}, {111, 0xC3D4}};
std::map<int, std::uint16_t> Drive(
    std::initializer_list<std::pair<const int, std::uint16_t>> change) {
  std::map<int, std::uint16_t> words = kDrive;
  for (const auto& [word, value] : change) words[word] = value;
  return words;
}
constexpr char kDriveSeen[] = "wwn=0x5000c500a1b2c3d4 size=2000398934016 sectors=512/512";

INSTANTIATE_TEST_SUITE_P(
    Blocks, IdentifyIdentity,
    testing::Values(
        WordsCase{"WholeBlock", kDrive, 512, kDriveSeen},
        WordsCase{"NoWwnWithoutBit8OfWord87", Drive({{87, 0x4000}}), 512,
                  "size=2000398934016 sectors=512/512"},
        WordsCase{"NoWwnWhereWord87IsNotMarkedValid", Drive({{87, 0xC100}}), 512,
                  "size=2000398934016 sectors=512/512"},
        WordsCase{"WwnOfZerosIsAPlaceholder", Drive({{108, 0}, {109, 0}, {110, 0}, {111, 0}}), 512,
                  "size=2000398934016 sectors=512/512 placeholders=wwn:all zero"},
        WordsCase{"WwnOfOnesIsAPlaceholder",
                  Drive({{108, 0xFFFF}, {109, 0xFFFF}, {110, 0xFFFF}, {111, 0xFFFF}}), 512,
                  "size=2000398934016 sectors=512/512 placeholders=wwn:all FFh"},
        WordsCase{"WwnCutByTheData", kDrive, 2 * 111, "size=2000398934016 sectors=512/512"},
        WordsCase{"TwentyEightBitCountWithout48BitAddressing", Drive({{83, 0x4000}}), 512,
                  "wwn=0x5000c500a1b2c3d4 size=137438952960 sectors=512/512"},
        WordsCase{"TwentyEightBitCountWhenThe48BitOneIsZero", Drive({{100, 0}, {101, 0}}), 512,
                  "wwn=0x5000c500a1b2c3d4 size=137438952960 sectors=512/512"},
        WordsCase{"NoCountWithoutLba", Drive({{49, 0}, {83, 0x4000}}), 512,
                  "wwn=0x5000c500a1b2c3d4 sectors=512/512"},
        WordsCase{"LogicalSectorOfWords117And118", Drive({{106, 0x5000}, {117, 0x0800}}), 512,
                  "wwn=0x5000c500a1b2c3d4 size=16003191472128 sectors=4096/4096"},
        WordsCase{"PhysicalSectorOfTheExponent", Drive({{106, 0x6003}}), 512,
                  "wwn=0x5000c500a1b2c3d4 size=2000398934016 sectors=512/4096"},
        WordsCase{"Word106NotMarkedValidMeans512", Drive({{106, 0x2003}}), 512, kDriveSeen},
        WordsCase{"LogicalSectorBelow512SaysNothing", Drive({{106, 0x5000}, {117, 0x0010}}), 512,
                  "wwn=0x5000c500a1b2c3d4"},
        WordsCase{"LogicalSectorCutByTheData", Drive({{106, 0x5000}, {117, 0x0800}}), 2 * 118,
                  "wwn=0x5000c500a1b2c3d4"},
        WordsCase{"NotRotating", {{217, 0x0001}}, 512, "sectors=512/512 rotational=false"},
        WordsCase{"SevenThousandTwoHundredRpm",
                  {{217, 7200}},
                  512,
                  "sectors=512/512 rotational=true rate=7200"},
        WordsCase{"LowestRate", {{217, 0x0401}}, 512, "sectors=512/512 rotational=true rate=1025"},
        WordsCase{"ReservedRates", {{217, 0x0400}}, 512, "sectors=512/512"},
        WordsCase{"ReservedFFFF", {{217, 0xFFFF}}, 512, "sectors=512/512"},
        WordsCase{"RateCutByTheData", {{217, 7200}}, 2 * 217, "sectors=512/512"},
        WordsCase{"Nothing", {}, 0, ""}),
    RowName());

// ---- VPD pages 0x83 and 0xB1 ----

struct Designator {
  std::uint8_t codeSet = 1, association = 0, type = 3;  // NAA
  std::vector<std::uint8_t> bytes;
};
const std::vector<std::uint8_t> kNaa5 = {0x50, 0x00, 0xc5, 0x00, 0xa1, 0xb2, 0xc3, 0xd4};
const std::vector<std::uint8_t> kPortNaa = {0x50, 0x00, 0xcc, 0xa0, 0x11, 0x22, 0x33, 0x44};
const std::vector<std::uint8_t> kNaa6 = {0x60, 0x05, 0x07, 0x68, 0x01, 0x80, 0x81, 0x4f,
                                         0x30, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x2a};
const std::vector<std::uint8_t> kEui64 = {0x00, 0x25, 0x38, 0x81, 0x91, 0xb2, 0x12, 0x34};

// A device identification page; the page length and the data's end where
// given, else the page's own.
std::vector<std::uint8_t> Page83(const std::vector<Designator>& designators, int pageLength = -1,
                                 std::size_t end = 0) {
  std::vector<std::uint8_t> page = {0x00, 0x83, 0x00, 0x00};
  for (const Designator& d : designators) {
    page.insert(page.end(), {d.codeSet, static_cast<std::uint8_t>(d.association << 4 | d.type), 0,
                             static_cast<std::uint8_t>(d.bytes.size())});
    page.insert(page.end(), d.bytes.begin(), d.bytes.end());
  }
  const std::size_t length =
      pageLength >= 0 ? static_cast<std::size_t>(pageLength) : page.size() - 4;
  page[2] = static_cast<std::uint8_t>(length >> 8);
  page[3] = static_cast<std::uint8_t>(length);
  if (end != 0) page.resize(end);
  return page;
}

std::vector<std::uint8_t> PageB1(std::uint16_t rate, std::uint16_t pageLength = 0x3C,
                                 std::size_t end = 64) {
  std::vector<std::uint8_t> page(64, 0);
  page[1] = 0xB1;
  page[2] = static_cast<std::uint8_t>(pageLength >> 8);
  page[3] = static_cast<std::uint8_t>(pageLength);
  page[4] = static_cast<std::uint8_t>(rate >> 8);
  page[5] = static_cast<std::uint8_t>(rate);
  page.resize(end);
  return page;
}

struct PageCase {
  const char* name;
  DiskIdentity (*read)(std::span<const std::uint8_t> page);
  std::vector<std::uint8_t> page;
  const char* expected;
};

class VpdIdentity : public testing::TestWithParam<PageCase> {};

TEST_P(VpdIdentity, ReadsTheLogicalUnitsDesignatorsAndTheRotationWithinThePage) {
  const std::vector<std::uint8_t> page = GetParam().page;  // a buffer of its size
  EXPECT_EQ(Described(GetParam().read(page)), GetParam().expected);
}

constexpr auto k83 = &ReadVpdDeviceIdentification;
constexpr auto kB1 = &ReadVpdBlockCharacteristics;
const Designator kLu{.bytes = kNaa5};
INSTANTIATE_TEST_SUITE_P(
    Pages, VpdIdentity,
    testing::Values(
        PageCase{"NaaOfTheLogicalUnit", k83, Page83({kLu}), "wwn=0x5000c500a1b2c3d4"},
        PageCase{"NaaSixOfSixteenBytes", k83, Page83({{.bytes = kNaa6}}),
                 "wwn=0x600507680180814f300000000000012a"},
        PageCase{"PortsNaaBeforeTheLogicalUnitsIgnored", k83,
                 Page83({{.association = 1, .bytes = kPortNaa}, kLu}), "wwn=0x5000c500a1b2c3d4"},
        PageCase{"NaaInAsciiIgnored", k83, Page83({{.codeSet = 2, .bytes = kNaa5}}), ""},
        PageCase{"NaaOfTwelveBytesIgnored", k83,
                 Page83({{.bytes = std::vector<std::uint8_t>(12, 0x51)}}), ""},
        PageCase{"FirstNaaOfTheLogicalUnitKept", k83, Page83({kLu, {.bytes = kPortNaa}}),
                 "wwn=0x5000c500a1b2c3d4"},
        PageCase{"EuiOfEightBytes", k83, Page83({{.type = 2, .bytes = kEui64}}),
                 "eui64=0025388191b21234"},
        PageCase{"EuiOfSixteenBytesIsTheNguid", k83, Page83({{.type = 2, .bytes = kNaa6}}),
                 "nguid=600507680180814f300000000000012a"},
        PageCase{"VendorAndNameStringsIgnored", k83,
                 Page83({{.codeSet = 2, .type = 1, .bytes = {'A', 'T', 'A', ' '}},
                         {.codeSet = 3, .type = 8, .bytes = {'n', 'a', 'a', '.'}}}),
                 ""},
        PageCase{"NaaOfZerosIsAPlaceholder", k83,
                 Page83({{.bytes = std::vector<std::uint8_t>(8, 0)}, {.type = 2, .bytes = kEui64}}),
                 "eui64=0025388191b21234 placeholders=wwn:all zero"},
        PageCase{"DesignatorPastThePageLength", k83, Page83({kLu}, /*pageLength=*/10), ""},
        PageCase{"PageLengthPastTheData", k83, Page83({kLu, {.type = 2, .bytes = kEui64}}, 200, 20),
                 "wwn=0x5000c500a1b2c3d4"},
        PageCase{"AnotherPage", k83, PageB1(7200), ""},
        PageCase{"HeaderCut", k83, Page83({kLu}, -1, 3), ""},
        PageCase{"SevenThousandTwoHundredRpm", kB1, PageB1(7200), "rotational=true rate=7200"},
        PageCase{"NonRotatingMedium", kB1, PageB1(1), "rotational=false"},
        PageCase{"PageLengthShortOfTheRate", kB1, PageB1(7200, 1), ""},
        PageCase{"RateCutByTheData", kB1, PageB1(7200, 0x3C, 5), ""},
        PageCase{"NotTheCharacteristicsPage", kB1, Page83({kLu}), ""}),
    RowName());

// ---- NVMe identify namespace data and identification descriptors ----

struct NamespaceData {
  std::uint64_t nsze = 1953525168;
  std::uint8_t nlbaf = 1, flbas = 1;
  std::map<std::size_t, std::uint8_t> lbads = {{0, 9}, {1, 12}};
  std::vector<std::uint8_t> nguid = std::vector<std::uint8_t>(16, 0);
  std::vector<std::uint8_t> eui64 = kEui64;
  std::size_t end = 4096;
};
std::vector<std::uint8_t> Namespace(const NamespaceData& n) {
  // The offsets as NVMe's Identify Namespace data structure gives them.
  std::vector<std::uint8_t> data(4096, 0);
  for (int k = 0; k < 8; ++k) data[k] = static_cast<std::uint8_t>(n.nsze >> (8 * k));
  data[25] = n.nlbaf;
  data[26] = n.flbas;
  for (const auto& [format, lbads] : n.lbads) data[128 + 4 * format + 2] = lbads;
  std::copy(n.nguid.begin(), n.nguid.end(), data.begin() + 104);
  std::copy(n.eui64.begin(), n.eui64.end(), data.begin() + 120);
  data.resize(n.end);
  return data;
}

// A descriptor list: type, length, identifier of each.
std::vector<std::uint8_t> Descriptors(
    std::initializer_list<std::pair<std::uint8_t, std::vector<std::uint8_t>>> list,
    std::size_t end = kNvmeIdentifySize) {
  std::vector<std::uint8_t> data;
  for (const auto& [type, nid] : list) {
    data.insert(data.end(), {type, static_cast<std::uint8_t>(nid.size()), 0, 0});
    data.insert(data.end(), nid.begin(), nid.end());
  }
  data.resize(end, 0);
  return data;
}
const std::vector<std::uint8_t> kUuid = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc, 0xde, 0xf0,
                                         0x0f, 0xed, 0xcb, 0xa9, 0x87, 0x65, 0x43, 0x21};

struct NvmeCase {
  const char* name;
  DiskIdentity (*read)(std::span<const std::uint8_t> data);
  std::vector<std::uint8_t> data;
  const char* expected;
};

class NvmeIdentity : public testing::TestWithParam<NvmeCase> {};

TEST_P(NvmeIdentity, ReadsTheFormatInUseAndEachIdentifierWhole) {
  const std::vector<std::uint8_t> data = GetParam().data;
  EXPECT_EQ(Described(GetParam().read(data)), GetParam().expected);
}

constexpr auto kNs = &ReadNvmeNamespaceIdentity;
constexpr auto kList = &ReadNvmeNamespaceDescriptors;
INSTANTIATE_TEST_SUITE_P(
    Structures, NvmeIdentity,
    testing::Values(
        NvmeCase{"SizeOfTheFormatInUse", kNs, Namespace({}),
                 "eui64=0025388191b21234 size=8001639088128 sectors=4096/- "
                 "placeholders=nguid:all zero"},
        NvmeCase{"FormatIndexAbove15", kNs,
                 Namespace({.nlbaf = 20, .flbas = 0x21, .lbads = {{1, 9}, {17, 12}}}),
                 "eui64=0025388191b21234 size=8001639088128 sectors=4096/- "
                 "placeholders=nguid:all zero"},
        NvmeCase{"FormatBeyondTheCount", kNs, Namespace({.flbas = 2, .lbads = {{2, 12}}}),
                 "eui64=0025388191b21234 placeholders=nguid:all zero"},
        NvmeCase{"BlockBelow512Bytes", kNs, Namespace({.lbads = {{1, 8}}}),
                 "eui64=0025388191b21234 placeholders=nguid:all zero"},
        NvmeCase{"SizeBeyondSixtyFourBits", kNs, Namespace({.nsze = 1ull << 62}),
                 "eui64=0025388191b21234 sectors=4096/- placeholders=nguid:all zero"},
        NvmeCase{"NguidAndEui64AtTheirOffsets", kNs, Namespace({.nguid = kUuid}),
                 "eui64=0025388191b21234 nguid=123456789abcdef00fedcba987654321 "
                 "size=8001639088128 sectors=4096/-"},
        NvmeCase{"ZeroIdentifiersArePlaceholders", kNs,
                 Namespace({.eui64 = std::vector<std::uint8_t>(8, 0)}),
                 "size=8001639088128 sectors=4096/- placeholders=nguid:all zero,eui64:all zero"},
        NvmeCase{"CutBeforeTheEui64", kNs, Namespace({.nguid = kUuid, .end = 124}),
                 "nguid=123456789abcdef00fedcba987654321"},
        NvmeCase{"CutInsideTheFormats", kNs, Namespace({.nguid = kUuid, .end = 134}),
                 "eui64=0025388191b21234 nguid=123456789abcdef00fedcba987654321"},
        NvmeCase{"EuiNguidAndUuid", kList,
                 Descriptors({{1, kEui64}, {2, kUuid}, {3, kUuid}, {4, {0}}}),
                 "eui64=0025388191b21234 nguid=123456789abcdef00fedcba987654321 "
                 "uuid=12345678-9abc-def0-0fed-cba987654321"},
        NvmeCase{"LengthNotOfItsTypeSkipped", kList, Descriptors({{1, kUuid}, {3, kUuid}}),
                 "uuid=12345678-9abc-def0-0fed-cba987654321"},
        NvmeCase{"ListEndsAtTypeZero", kList, Descriptors({{0, {}}, {1, kEui64}}), ""},
        NvmeCase{"DescriptorCutByTheData", kList, Descriptors({{1, kEui64}}, 10), ""},
        NvmeCase{"ZeroUuidIsAPlaceholder", kList,
                 Descriptors({{3, std::vector<std::uint8_t>(16, 0)}}),
                 "placeholders=uuid:all zero"},
        NvmeCase{"NothingAtAll", kList, {}, ""}),
    RowName());

// ---- The namespace serial of the SCSI translation ----

struct SerialCase {
  const char* name;
  const char* serial;
  std::optional<IdentifierKind> kind;
};

class TranslatedSerial : public testing::TestWithParam<SerialCase> {};

TEST_P(TranslatedSerial, IsRecognisedOnlyInItsExactForm) {
  EXPECT_EQ(TranslatedNamespaceSerialKind(GetParam().serial), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TranslatedSerial,
    testing::Values(SerialCase{"Eui64", "0025_3881_91B2_1234.", IdentifierKind::kEui64},
                    SerialCase{"Nguid", "0025_3881_91B2_1234_6001_2345_6789_ABCD.",
                               IdentifierKind::kNguid},
                    SerialCase{"LowercaseDigits", "0025_3881_91b2_1234.", IdentifierKind::kEui64},
                    SerialCase{"WithoutThePeriod", "0025_3881_91B2_1234", std::nullopt},
                    SerialCase{"ThreeGroups", "0025_3881_91B2.", std::nullopt},
                    SerialCase{"NotAHexDigit", "0025_3881_91G2_1234.", std::nullopt},
                    SerialCase{"UnderscoreMisplaced", "00253_881_91B2_1234.", std::nullopt},
                    SerialCase{"DrivesOwnSerial", "S4EWNF0M123456", std::nullopt},
                    SerialCase{"PeriodOnly", ".", std::nullopt}),
    RowName());

// ---- Sizes as lsblk writes them ----

struct SizeCase {
  const char* name;
  std::uint64_t bytes;
  const char* shown;
};

class LsblkSize : public testing::TestWithParam<SizeCase> {};

TEST_P(LsblkSize, IsWhatLsblkPrints) { EXPECT_EQ(HumanSize(GetParam().bytes), GetParam().shown); }

// What lsblk of util-linux 2.38.1 printed for loop devices of these sizes,
// but the largest, which no device has.
INSTANTIATE_TEST_SUITE_P(
    Sizes, LsblkSize,
    testing::Values(
        SizeCase{"Zero", 0, "0B"}, SizeCase{"Bytes", 512, "512B"},
        SizeCase{"HalfAKibibyte", 1536, "1.5K"}, SizeCase{"WholeKibibytes", 1047552, "1023K"},
        SizeCase{"HalfRoundedNotDropped", 1048064, "1023.5K"},
        SizeCase{"RoundedUpToTheNextUnitsCount", 1073741312, "1024M"},
        SizeCase{"NinetyFiveHundredthsMakeTheNextWhole", 2093796864, "2G"},
        SizeCase{"JustBelowNinetyFiveHundredths", 2093796352, "1.9G"},
        SizeCase{"HalfUp", 2415919104, "2.3G"}, SizeCase{"Ssd256", 256060514304, "238.5G"},
        SizeCase{"Ssd500", 500107862016, "465.8G"}, SizeCase{"Ssd1000", 1000204886016, "931.5G"},
        SizeCase{"TrailingZeroDropped", 1020054732800, "950G"},
        SizeCase{"Tebibyte", 1099511627776, "1T"},
        SizeCase{"FiveHundredthsMakeATenth", 1154487209472, "1.1T"},
        SizeCase{"JustBelowFiveHundredths", 1154487208960, "1T"},
        SizeCase{"Disk2000", 2000398934016, "1.8T"}, SizeCase{"Disk8000", 8001563222016, "7.3T"},
        SizeCase{"Largest", UINT64_MAX, "16E"}),
    RowName());

}  // namespace
}  // namespace hdsn::sim
