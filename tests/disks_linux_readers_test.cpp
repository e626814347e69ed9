// The readers of what Linux publishes: the kernel's IDENTIFY text, its
// numbers and identifiers in sysfs, udev's database, the mount table,
// blkid's cache, and the natural order of names.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "disks/linux/readers.h"
#include "protocol/scsi.h"
#include "test_support.h"

namespace hdsn {
namespace {

// The kernel's text of words 0 to n-1, word k having the value 0x0100 * k + 1.
std::string IdText(int words) {
  std::string text;
  char word[8];
  for (int k = 0; k < words; ++k) {
    std::snprintf(word, sizeof word, "%04x", (0x0100 * k + 1) & 0xFFFF);
    text += word;
    text += (k + 1) % 8 == 0 ? '\n' : ' ';
  }
  return text;
}

struct IdCase {
  const char* name;
  std::string text;
  std::size_t bytes;
};

class AtaIdFile : public testing::TestWithParam<IdCase> {};

TEST_P(AtaIdFile, GivesTheWordsReadLowByteFirst) {
  const AtaIdWords words = ReadAtaIdFile(GetParam().text);
  EXPECT_EQ(words.bytes, GetParam().bytes);
  for (std::size_t k = 0; k < 256; ++k) {
    const bool read = 2 * k < words.bytes;
    EXPECT_EQ(words.block[2 * k], read ? 0x01 : 0) << k;
    EXPECT_EQ(words.block[2 * k + 1], read ? k & 0xFF : 0) << k;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AtaIdFile,
    testing::Values(IdCase{"Empty", "", 0}, IdCase{"NotHex", "0001 zz01 0201", 2},
                    IdCase{"FiveDigitWord", "0001 01001 0201", 2},
                    IdCase{"CutInsideALine", IdText(21), 42},
                    IdCase{"WithoutTheLastLineFeed", IdText(256).substr(0, 1279), 512},
                    IdCase{"Whole", IdText(256), 512},
                    IdCase{"WordsBeyond256Ignored", IdText(256) + "ffff ffff\n", 512}),
    sim::RowName());

struct SysfsNumberCase {
  const char* name;
  std::string text;
  std::optional<std::uint64_t> value;
};

class SysfsNumber : public testing::TestWithParam<SysfsNumberCase> {};

TEST_P(SysfsNumber, IsDecimalDigitsAndOneLineFeedAtMost) {
  EXPECT_EQ(ReadSysfsNumber(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SysfsNumber,
    testing::Values(SysfsNumberCase{"Size", "976773168\n", 976773168},
                    SysfsNumberCase{"WithoutLineFeed", "4096", 4096},
                    SysfsNumberCase{"Zero", "0\n", 0}, SysfsNumberCase{"Empty", "", std::nullopt},
                    SysfsNumberCase{"LineFeedOnly", "\n", std::nullopt},
                    SysfsNumberCase{"TwoLineFeeds", "512\n\n", std::nullopt},
                    SysfsNumberCase{"Blank", "512 \n", std::nullopt},
                    SysfsNumberCase{"Sign", "-1\n", std::nullopt},
                    SysfsNumberCase{"Largest", "18446744073709551615\n", UINT64_MAX},
                    // One more would wrap to 0.
                    SysfsNumberCase{"PastSixtyFourBits", "18446744073709551616\n", std::nullopt},
                    SysfsNumberCase{"FarPast", "99999999999999999999\n", std::nullopt}),
    sim::RowName());

// An identifier as the kernel writes it in sysfs, and what is taken of it:
// "field value" of each identifier, "field: reason" of each placeholder.
struct WwidCase {
  const char* name;
  std::string text;
  std::string taken;
};

class SysfsIdentifier : public testing::TestWithParam<WwidCase> {};

TEST_P(SysfsIdentifier, NamesOnlyWholeIdentifiersOfItsKind) {
  DiskIdentity identity;
  TakeWwid(identity, GetParam().text);
  std::string taken;
  for (const auto& [field, value] : {std::pair{"wwn", identity.wwn},
                                     {"eui64", identity.eui64},
                                     {"nguid", identity.nguid},
                                     {"uuid", identity.uuid}})
    if (value) taken += std::string(field) + " " + *value;
  for (const Placeholder& placeholder : identity.placeholders)
    taken += placeholder.field + ": " + placeholder.reason;
  EXPECT_EQ(taken, GetParam().taken);
  EXPECT_FALSE(identity.size || identity.logicalSectorSize || identity.rotational);
}

INSTANTIATE_TEST_SUITE_P(
    Wwids, SysfsIdentifier,
    testing::Values(
        WwidCase{"NaaFive", "naa.5000c500a1b2c3d4\n", "wwn 0x5000c500a1b2c3d4"},
        WwidCase{"NaaSix", "naa.6005076801808086b000000000000012\n",
                 "wwn 0x6005076801808086b000000000000012"},
        WwidCase{"NaaAllZero", "naa.0000000000000000\n", "wwn: all zero"},
        WwidCase{"NaaCut", "naa.5000c500a1b2c3\n", ""},
        WwidCase{"NaaOfTwelveBytes", "naa.5000c500a1b2c3d4e5f6a7b8\n", ""},
        WwidCase{"NaaNotHex", "naa.5000c500a1b2c3dz\n", ""},
        WwidCase{"NaaOddDigits", "naa.5000c500a1b2c3d4e\n", ""},
        WwidCase{"PrefixIsLowerCase", "NAA.5000c500a1b2c3d4\n", ""},
        WwidCase{"EuiOfEightBytes", "eui.0025388191b21234\n", "eui64 0025388191b21234"},
        // The NVMe namespace's NGUID, or its SCSI translation's designator.
        WwidCase{"EuiOfSixteenBytes", "eui.0123456789abcdeffedcba9876543210\n",
                 "nguid 0123456789abcdeffedcba9876543210"},
        WwidCase{"EuiAllFf", "eui.ffffffffffffffff\n", "eui64: all FFh"},
        WwidCase{"EuiOfTwelveBytes", "eui.0025388191b2123456789abc\n", ""},
        WwidCase{"Uuid", "uuid.6b1a3c2e-4d5f-4a60-8b71-92a3b4c5d6e7\n",
                 "uuid 6b1a3c2e-4d5f-4a60-8b71-92a3b4c5d6e7"},
        WwidCase{"UuidCut", "uuid.6b1a3c2e-4d5f-4a60-8b71-92a3b4c5d6\n", ""},
        // The kernel's stand-in of the controller's vendor, serial, model
        // and the namespace ID, and the texts of SCSI devices without a name.
        WwidCase{"NvmeStandIn",
                 "nvme.1b36-4e564d452d5345522d30303031-51454d55204e564d65204374726c-00000001\n",
                 ""},
        WwidCase{"T10", "t10.ATA     QEMU HARDDISK                           QM00001\n", ""},
        WwidCase{"Empty", "", ""}),
    sim::RowName());

TEST(UdevProperty, TakesTheWholeKeyOfAnEntryLine) {
  const std::string database =
      "S:disk/by-id/ata-DISK_SN1\n"
      "E:ID_SERIAL=DISK_SN1\n"
      "E:ID_SERIAL_SHORT=SN1\n"
      "I:ID_MODEL=not an entry\n"
      "E:ID_MODEL=\n"
      "E:ID_REVISION=1.0";
  EXPECT_EQ(UdevProperty(database, "ID_SERIAL"), "DISK_SN1");
  EXPECT_EQ(UdevProperty(database, "ID_SERIAL_SHORT"), "SN1");
  EXPECT_EQ(UdevProperty(database, "ID_MODEL"), "");
  EXPECT_EQ(UdevProperty(database, "ID_REVISION"), "1.0");
  EXPECT_EQ(UdevProperty(database, "ID_SER"), std::nullopt);
  EXPECT_EQ(UdevProperty("E:ID_SERIAL", "ID_SERIAL"), std::nullopt);
}

TEST(MountedRoot, IsTheLastMountOnSlash) {
  const std::string table =
      "1 1 0:2 / / rw - rootfs rootfs rw\n"
      "22 1 8:2 / /boot rw shared:2 - ext4 /dev/sda1 rw\n"
      "23 1 253:0 / / rw,relatime shared:1 master:3 - xfs /dev/mapper/root rw\n"
      "24 1 x:y / / rw - ext4 /dev/bad rw\n"
      "25 23 8:2 /images /srv rw - ext4 /dev/sda1 rw\n";
  const std::optional<Mount> root = ReadMountedRoot(table);
  ASSERT_TRUE(root);
  EXPECT_EQ(root->major, 253u);
  EXPECT_EQ(root->minor, 0u);
  EXPECT_EQ(root->type, "xfs");
  EXPECT_EQ(root->source, "/dev/mapper/root");
  EXPECT_FALSE(ReadMountedRoot("22 1 8:2 / /boot rw - ext4 /dev/sda1 rw\n"));
  EXPECT_FALSE(ReadMountedRoot("1 1 1234567890:0 / / rw - ext4 /dev/x rw"));
  // By its numbers: the last mount of that file system, wherever it is.
  const std::optional<Mount> boot = FindMount(table, 8, 2);
  ASSERT_TRUE(boot);
  EXPECT_EQ(boot->type, "ext4");
  EXPECT_EQ(boot->source, "/dev/sda1");
  EXPECT_FALSE(FindMount(table, 8, 3));
}

struct UdevTextCase {
  const char* name;
  std::string encoded;
  std::string decoded;
};

class UdevText : public testing::TestWithParam<UdevTextCase> {};

TEST_P(UdevText, DecodesEachHexEscapeAlone) {
  EXPECT_EQ(DecodeUdevText(GetParam().encoded), GetParam().decoded);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UdevText,
    testing::Values(UdevTextCase{"CutEscapeAtTheEnd", "AB\\x2", "AB\\x2"},
                    UdevTextCase{"NotHex", "A\\xg0B", "A\\xg0B"},
                    UdevTextCase{"UpperCaseX", "A\\X20B", "A\\X20B"},
                    UdevTextCase{"Blanks", "WDC\\x20WD10\\x20\\x20", "WDC WD10  "},
                    UdevTextCase{"BackslashItself", "A\\x5cx20", "A\\x20"},
                    UdevTextCase{"AnyByte", "\\xff\\x00", std::string("\xff\0", 2)}),
    sim::RowName());

TEST(BlkidCache, FindsTheDeviceByNumberElseByNode) {
  const std::string cache =
      "<device DEVNO=\"0x0801\" TIME=\"1.1\" UUID=\"first\" TYPE=\"ext4\">/dev/sda1</device>\n"
      "<device DEVNO=\"0x10300\" UUID=\"nvme\">/dev/nvme0n1</device>\n"
      "<device UUID=\"by-node\" TYPE=\"xfs\">/dev/vdb1</device>\n"
      "<device DEVNO=\"0x0802\" UUID=\"unterminated>/dev/sda2</device>\n";
  EXPECT_EQ(BlkidCacheUuid(cache, 8, 1, "/dev/other"), "first");
  EXPECT_EQ(BlkidCacheUuid(cache, 259, 0, ""), "nvme");
  EXPECT_EQ(BlkidCacheUuid(cache, 1, 0x1000, ""), std::nullopt);
  EXPECT_EQ(BlkidCacheUuid(cache, 3, 0, ""), std::nullopt);
  // makedev(1, 0x100): the minor's high bits go above the major's.
  EXPECT_EQ(BlkidCacheUuid("<device DEVNO=\"0x100100\" UUID=\"u\">x</device>", 1, 0x100, ""), "u");
  EXPECT_EQ(BlkidCacheUuid(cache, 254, 17, "/dev/vdb1"), "by-node");
  EXPECT_EQ(BlkidCacheUuid(cache, 8, 2, "/dev/sda2"), std::nullopt);
}

struct OrderCase {
  const char* name;
  const char* first;
  const char* second;
};

class NaturalOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(NaturalOrder, PutsTheFirstBeforeTheSecond) {
  EXPECT_TRUE(NaturalNameLess(GetParam().first, GetParam().second));
  EXPECT_FALSE(NaturalNameLess(GetParam().second, GetParam().first));
}

INSTANTIATE_TEST_SUITE_P(Names, NaturalOrder,
                         testing::Values(OrderCase{"Letters", "sda", "sdb"},
                                         OrderCase{"MoreLettersLater", "sdz", "sdaa"},
                                         OrderCase{"SameLengthAlphabetical", "sdaz", "sdba"},
                                         OrderCase{"Numbers", "nvme1n1", "nvme10n1"},
                                         OrderCase{"Namespaces", "nvme0n2", "nvme0n10"},
                                         OrderCase{"KindsByPrefix", "nvme9n1", "sda"},
                                         OrderCase{"VirtioLetters", "vdz", "vdab"},
                                         OrderCase{"LeadingZeros", "mmcblk0", "mmcblk1"}),
                         sim::RowName());

// Forty hex digits are a serial as the drive gave it on Linux: only some
// Windows versions hex-encode serials, so the shared readers decode nothing.
TEST(SharedReaders, KeepFortyHexDigitsAsGiven) {
  const std::string hex = "2020202057202d4443575a413541333234373538";
  std::vector<std::uint8_t> page = {0, 0x80, 0, static_cast<std::uint8_t>(hex.size())};
  page.insert(page.end(), hex.begin(), hex.end());
  EXPECT_EQ(ReadVpdSerialTexts(page).serial, hex);
}

}  // namespace
}  // namespace hdsn
