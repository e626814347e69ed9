// ATA IDENTIFY DEVICE: the command codes, the words of the texts, and how
// the 512 bytes a drive answers read. Whatever carries the command (a SMART
// request, an ATA or SCSI pass-through, SG_IO, libata's copy in sysfs), the
// block is 256 little-endian words, and a text field holds two characters a
// word, the first in the word's high byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "protocol/identity.h"
#include "protocol/text.h"

namespace hdsn {

inline constexpr std::uint8_t kAtaIdentifyDevice = 0xEC;
inline constexpr std::uint8_t kAtaIdentifyPacketDevice = 0xA1;

inline constexpr std::size_t kIdentifyWords = 256;
inline constexpr std::size_t kIdentifyBlockSize = 2 * kIdentifyWords;
static_assert(kIdentifyBlockSize == 512);

// The text fields, first and last word: 20 characters of serial number, 8
// of firmware revision, 40 of model number.
inline constexpr int kSerialFirstWord = 10;
inline constexpr int kSerialLastWord = 19;
inline constexpr int kFirmwareFirstWord = 23;
inline constexpr int kFirmwareLastWord = 26;
inline constexpr int kModelFirstWord = 27;
inline constexpr int kModelLastWord = 46;

// The status register: ERR, the command was aborted or failed.
inline constexpr std::uint8_t kAtaStatusError = 0x01;

// Word 0 bit 15 is set by a device that is not an ATA device (an ATAPI
// device answers IDENTIFY PACKET DEVICE so).
inline constexpr std::uint16_t kIdentifyNotAtaDevice = 0x8000;
// Word 255: its low byte the signature A5h, its high byte the checksum that
// makes the 512 bytes sum to 0 modulo 256. A block without the signature
// carries no checksum.
inline constexpr int kIntegrityWord = 255;
inline constexpr std::uint8_t kIntegritySignature = 0xA5;

// The bytes of IDENTIFY words first..last (inclusive), high byte of each
// word first, NULs and blanks included: the one routine that turns IDENTIFY
// words into text. Only the words wholly inside `data` are taken.
std::string IdentifyFieldBytes(std::span<const std::uint8_t> data, int first, int last);

// The serial, firmware and model texts of IDENTIFY data, trimmed, never
// decoded; at most 512 bytes are read. A field whose first word did not come
// is no text; one cut short is the words that came.
SourceTexts ReadIdentifyTexts(std::span<const std::uint8_t> data);

// Why IDENTIFY DEVICE data must not be believed, empty when it may: word 0
// with bit 15 set ("identify-not-ata: 0x85c0", word 0 in hex), or a whole
// block that carries the signature and does not sum to 0
// ("identify-checksum: 17", the sum of its bytes modulo 256). A block cut
// short is checked as far as it came. hdsn-disks checks every block it reads
// on every system, so that the garbage of a bridge or a driver is that
// source's error and never wins over a good source.
std::string CheckIdentifyData(std::span<const std::uint8_t> data);

// The texts and the identity of IDENTIFY data once it passed
// CheckIdentifyData; its error otherwise.
AnswerRead ReadCheckedIdentify(std::span<const std::uint8_t> data);

// The words of a disk's identity. A word of capabilities or settings counts
// only when its bits 15:14 are 01b, as the standard marks a word that holds
// what it says.
inline constexpr int kCapabilitiesWord = 49;             // bit 9: LBA supported
inline constexpr int kLba28CapacityFirstWord = 60;       // 60-61, low word first
inline constexpr int kCommandSet2Word = 83;              // bit 10: 48-bit addressing
inline constexpr int kFeatureDefaultWord = 87;           // bit 8: words 108-111 hold the WWN
inline constexpr int kLba48CapacityFirstWord = 100;      // 100-103, low word first
inline constexpr int kSectorSizesWord = 106;             // bits 13, 12 and 3:0, below
inline constexpr int kWwnFirstWord = 108;                // 108-111, most significant first
inline constexpr int kLogicalSectorSizeFirstWord = 117;  // 117-118, in 16-bit words
inline constexpr int kRotationRateWord = 217;

// The WWN, the capacity in bytes, the logical and physical sector sizes
// and the rotation of IDENTIFY data; at most 512 bytes are read, and each
// value only when every word it needs came.
DiskIdentity ReadIdentifyIdentity(std::span<const std::uint8_t> data);

}  // namespace hdsn
