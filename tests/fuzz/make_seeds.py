#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets: real-looking IDENTIFY blocks,
storage descriptor and VxD answers, object paths and serial number texts.
Run from anywhere; the seeds land in tests/fuzz/corpus/<target>/.

The whole-program targets (fuzz_whole_program, fuzz_linux_machine) read their
machine through FuzzedDataProvider, which no hand-made bytes describe well:
their seeds are the largest inputs of a merged (-merge=1) corpus from a
campaign of each target."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def ata_text(text, words):
    """Text in ATA order: blank-padded, the first character of each word in its high byte."""
    raw = text.encode('latin-1').ljust(2 * words, b' ')[:2 * words]
    return b''.join(raw[i + 1:i + 2] + raw[i:i + 1] for i in range(0, len(raw), 2))


def identify_block(serial, model, atapi=False):
    block = bytearray(512)
    block[0:2] = struct.pack('<H', 0x85C0 if atapi else 0x0040)
    block[20:40] = ata_text(serial, 10)
    block[46:54] = ata_text('1.0', 4)
    block[54:94] = ata_text(model, 20)
    return bytes(block)


def with_identity(block, sectors, wwn, rotation, sizes=0x6003):
    """The words of a 48-bit capacity, sector sizes (word 106), a WWN and a rotation rate."""
    block = bytearray(block)
    words = {49: 0x0200, 60: min(sectors, 0x0FFFFFFF) & 0xFFFF, 61: min(sectors, 0x0FFFFFFF) >> 16,
             83: 0x4400, 87: 0x4100, 106: sizes, 117: 0x0800, 217: rotation}
    for k in range(4):
        words[100 + k] = (sectors >> (16 * k)) & 0xFFFF
        words[108 + k] = (wwn >> (16 * (3 - k))) & 0xFFFF
    for word, value in words.items():
        struct.pack_into('<H', block, 2 * word, value)
    return bytes(block)


def storage_descriptor(offset, text):
    answer = bytearray(max(36, offset + len(text)))
    struct.pack_into('<III', answer, 0, 36, len(answer), 0)
    struct.pack_into('<I', answer, 24, offset)
    answer[offset:offset + len(text)] = text
    return bytes(answer)


def media_serial(text):
    return struct.pack('<III', 16 + len(text) + 1, len(text) + 1, 0) + b'\0' * 4 + text + b'\0'


def vxd_answer(controllers, drives, blocks):
    answer = bytearray(4108)
    answer[0:4] = bytes(controllers)
    answer[4:12] = bytes(drives)
    for drive, block in blocks.items():
        answer[12 + 512 * drive:12 + 512 * (drive + 1)] = block
    return bytes(answer)


def utf16(text):
    return text.encode('utf-16-le')


# hdsn-disks' answers, as a 64-bit build lays them out, each after the byte
# count returned (4 bytes) as its fuzz targets read them.
def returned(answer, count=None):
    return struct.pack('<I', len(answer) if count is None else count) + answer


def device_descriptor(bus, texts):
    answer = bytearray(40)
    struct.pack_into('<II', answer, 0, 40, 0)
    struct.pack_into('<I', answer, 28, bus)
    for field, text in zip((12, 16, 20, 24), texts):
        if text:
            struct.pack_into('<I', answer, field, len(answer))
            answer += text + b'\0'
    struct.pack_into('<I', answer, 4, len(answer))
    return bytes(answer)


def nvme_answer(serial, model, firmware):
    answer = bytearray(48 + 4096)
    struct.pack_into('<IIIIIIII', answer, 0, 48, 48, 3, 1, 1, 0, 40, 4096)
    answer[52:72] = serial.ljust(20)
    answer[72:112] = model.ljust(40)
    answer[112:120] = firmware.ljust(8)
    return bytes(answer)


def nvme_namespace_answer(nsze, flbas, lbads, nguid, eui64):
    answer = bytearray(48 + 4096)
    struct.pack_into('<IIIIIIII', answer, 0, 48, 48, 3, 1, 0, 1, 40, 4096)
    data = 48
    struct.pack_into('<Q', answer, data, nsze)
    answer[data + 25] = max(len(lbads) - 1, 0)
    answer[data + 26] = flbas
    answer[data + 104:data + 120] = nguid
    answer[data + 120:data + 128] = eui64
    for index, value in enumerate(lbads):
        answer[data + 128 + 4 * index + 2] = value
    return bytes(answer)


def device_id_descriptor(identifiers, count=None, last_next=0):
    """STORAGE_DEVICE_ID_DESCRIPTOR: (code set, type, association, bytes) each."""
    body = b''
    for at, (code_set, kind, association, identifier) in enumerate(identifiers):
        size = (16 + len(identifier) + 3) // 4 * 4
        following = size if at + 1 < len(identifiers) else last_next
        entry = struct.pack('<IIHHI', code_set, kind, len(identifier), following, association)
        body += (entry + identifier).ljust(size, b'\0')
    header = struct.pack('<III', 16, 12 + len(body), len(identifiers) if count is None else count)
    return header + body


def vpd_page_answer(status, cdb_page, page):
    header = bytearray(56 + 32)
    struct.pack_into('<HBBBBBBB', header, 0, 56, status, 0, 0, 0, 6, 32, 1)
    struct.pack_into('<II', header, 12, len(page), 3)
    struct.pack_into('<QI', header, 24, 88, 56)
    header[36:42] = bytes([0x12, 1, cdb_page, 0, 252, 0])
    return bytes(header) + page


def ata_answer(status, block):
    header = bytearray(48)
    struct.pack_into('<HH', header, 0, 48, 3)
    struct.pack_into('<II', header, 8, 512, 3)
    struct.pack_into('<Q', header, 24, 48)
    header[46] = status
    return bytes(header) + block


def vpd_answer(status, page):
    header = bytearray(56 + 32)
    struct.pack_into('<HBBBBBBB', header, 0, 56, status, 0, 0, 0, 6, 32, 1)
    struct.pack_into('<II', header, 12, len(page), 3)
    struct.pack_into('<QI', header, 24, 88, 56)
    header[36:42] = bytes([0x12, 1, 0x80, 0, 252, 0])
    return bytes(header) + page


def volume_extents(count, disks):
    return struct.pack('<II', count, 0) + b''.join(
        struct.pack('<IIQQ', disk, 0, 1 << 20, 1 << 30) for disk in disks) + \
        (bytes(24) if not disks else b'')


DISK = identify_block('WD-WCAV12345678', 'WDC WD5000AAKS-00V1A0')
DISK_WITH_IDENTITY = with_identity(DISK, 3907029168, 0x50014EE2B1C2D3E4, 7200)
NAA5 = bytes.fromhex('5000c500a1b2c3d4')
NAA6 = bytes.fromhex('600507680180814f300000000000012a')
EUI64 = bytes.fromhex('0025388191b21234')
PAGE_83 = bytes([0, 0x83, 0, 44, 1, 0x13, 0, 8]) + NAA5 + bytes([1, 0x03, 0, 16]) + NAA6 + \
    bytes([1, 0x02, 0, 8]) + EUI64
CDROM = identify_block('', 'HL-DT-ST DVD-RAM GH22NS50', atapi=True)
PATH_DRIVE = r'\\HOST\ROOT\CIMV2:Win32_DiskDrive.DeviceID="\\\\.\\PHYSICALDRIVE0"'
PATH_PARTITION = r'\\HOST\ROOT\CIMV2:Win32_DiskPartition.DeviceID="Disk #0, Partition #0"'
PATH_LOGICAL = r'\\HOST\ROOT\CIMV2:Win32_LogicalDisk.DeviceID="C:"'

SEEDS = {
    'fuzz_identify_text': {
        'ata_disk': bytes([26, 3]) + DISK,
        'atapi_no_serial': bytes([26, 3]) + CDROM,
        'blank_serial': bytes([26, 3]) + identify_block('', 'DISK'),
        'whole_block': bytes([16, 239]) + DISK,
    },
    'fuzz_identify_blocks': {
        'repeats': bytes([1, 20, 0, 5, 1, 20, 0, 5, 2, 0, 1, 7, 1, 20, 0, 5]),
    },
    'fuzz_trim_serial': {
        'padded': b'\0  WD-WCAV12345678\t \r\n',
        'double_byte': b'\1 AB\x81 ',
    },
    'fuzz_decode_hex_serial': {
        'swapped_pair': b'3132',
        'blanks': b'20202020',
        'uppercase': b'3A31',
        'short_group': b'313',
        'serial': b'2020202057442d5743415631323334353637380000',
    },
    'fuzz_storage_answers': {
        'serial_text': struct.pack('<H', 80) + storage_descriptor(64, b'2020574431323334') +
                       media_serial(b'MEDIA-SERIAL'),
        'offset_zero': struct.pack('<H', 36) + storage_descriptor(0, b''),
        'offset_at_end': struct.pack('<H', 36) + storage_descriptor(0, b'')[:24] +
                         struct.pack('<I', 9999) + b'\0' * 8,
    },
    'fuzz_vxd_answer': {
        'master_and_slave': b'\1' + vxd_answer([1, 0, 0, 0], [1, 1, 0, 0, 0, 0, 0, 0],
                                              {0: DISK, 1: identify_block('SLAVE-01', 'DISK')}),
        'controller_missing': b'\0' + vxd_answer([0, 0, 0xFF, 0], [0, 0, 0, 1, 0, 0, 0, 0],
                                                {3: DISK}),
    },
    'fuzz_wql_escape': {
        'disk_drive_path': bytes([254]) + PATH_DRIVE.encode(),
        'partition_path': bytes([254]) + PATH_PARTITION.encode(),
        'quote_after_backslash': bytes([10]) + b'x\\y"z\\"',
    },
    'fuzz_device_descriptor': {
        'nvme': returned(device_descriptor(17, [b'NVMe', b'NVMe SSD 1TB', b'1.0',
                                                b'0025_3881_91B2_1234.'])),
        'texts_past_returned': returned(device_descriptor(11, [b'', b'DISK', b'', b'SERIAL']), 44),
        'unterminated': returned(device_descriptor(7, [b'', b'', b'', b'TAIL'])[:-1]),
    },
    'fuzz_nvme_identify': {
        'identify': returned(nvme_answer(b'NVME0R123456A', b'NVMe SSD 1TB', b'NV-FW-01')),
        'cut_short': returned(nvme_answer(b'NVME0R123456A', b'NVMe SSD 1TB', b'NV-FW-01'), 78),
        'namespace': returned(nvme_namespace_answer(1953525168, 1, [9, 12], bytes(16), EUI64)),
        'namespace_format_17': returned(nvme_namespace_answer(2000, 0x21, [9] * 17 + [12],
                                                              NAA6, bytes(8))),
        'descriptors': returned(bytes([1, 8, 0, 0]) + EUI64 + bytes([2, 16, 0, 0]) + NAA6 +
                                bytes([3, 16, 0, 0]) + NAA6 + bytes(8)),
    },
    'fuzz_ata_answer': {
        'identify': returned(ata_answer(0x50, DISK)),
        'identify_with_identity': returned(ata_answer(0x50, DISK_WITH_IDENTITY)),
        'aborted': returned(ata_answer(0x51, b'')),
        'smart': returned(struct.pack('<I', 512) + bytes(12) + DISK),
    },
    'fuzz_vpd_page': {
        'serial': returned(vpd_answer(0, bytes([0, 0x80, 0, 15]) + b'USB-BRIDGE-0001')),
        'length_beyond': returned(vpd_answer(0, bytes([0, 0x80, 0, 200]) + b'V1')),
        'check_condition': returned(vpd_answer(2, b'')),
        'device_identification': returned(vpd_page_answer(0, 0x83, PAGE_83)),
        'page_length_beyond': returned(vpd_page_answer(0, 0x83, PAGE_83[:2] + bytes([1, 0]) +
                                                       PAGE_83[4:20])),
        'block_characteristics': returned(vpd_page_answer(0, 0xB1, bytes([0, 0xB1, 0, 0x3C, 0x1C,
                                                                          0x20]) + bytes(58))),
    },
    'fuzz_storage_properties': {
        'device_id': returned(device_id_descriptor([(1, 3, 1, NAA5), (1, 3, 0, NAA6),
                                                    (1, 2, 0, EUI64), (2, 8, 0, b'naa.5000')])),
        'device_id_next_beyond': returned(device_id_descriptor([(1, 3, 0, NAA5)], 1000, 64)),
        'alignment': returned(struct.pack('<IIIIIII', 28, 28, 64, 0, 512, 4096, 0)),
        'seek_penalty': returned(struct.pack('<IIB', 12, 12, 1) + bytes(3)),
        'geometry': returned(struct.pack('<qIIII', 243201, 12, 255, 63, 512) +
                             struct.pack('<q', 2000398934016) + bytes(8)),
        'scsi_address': returned(struct.pack('<IBBBB', 8, 1, 0, 0, 2)),
    },
    'fuzz_volume_answers': {
        'wine_no_extent': returned(volume_extents(0, [])),
        'spanned': returned(volume_extents(2, [0, 3])),
        'count_beyond': returned(volume_extents(9, [1])),
        'device_number': returned(struct.pack('<III', 7, 0, 1)),
    },
    'fuzz_inventory_serial': {
        'hex_encoded': b'2020202057202d4443575a413541333234373538',
        'hex_uppercase': b' 2020202057202D4443575A413541333234373538\0',
        'hex_unprintable': b'4142434445464748494a4b4c4d4e4f50515253ff',
        'padded': b'\0  WD-WCAV12345678\t ',
    },
    'fuzz_json_writer': {
        'ascii': b'WD-WCAV12345678 \x01\x02' * 8,
        'high_bytes': bytes(range(256)),
    },
    'fuzz_wmi_property_text': {
        'serial': struct.pack('<H', 2047) + utf16('  WD-WCAV12345678 '),
        'logical_disk_path': struct.pack('<H', 254) + utf16(PATH_LOGICAL),
        'wide_characters': struct.pack('<H', 8) + utf16(' \u00e9\u4e2d\u0001 '),
    },
}

def ata_id_text(block):
    """The kernel's text of IDENTIFY data: each word's value in hex, eight to a line."""
    words = struct.unpack('<256H', block)
    return ''.join('%04x%s' % (word, '\n' if (k + 1) % 8 == 0 else ' ')
                   for k, word in enumerate(words)).encode()


SEEDS['fuzz_ata_id_file'] = {
    'disk': ata_id_text(DISK),
    'cut_in_a_line': ata_id_text(DISK)[:200],
    'bad_word': ata_id_text(DISK)[:120] + b'zz' + ata_id_text(DISK)[122:],
}
SEEDS['fuzz_linux_texts'] = {
    'udev': b'S:disk/by-id/ata-DISK_SN1\nE:ID_SERIAL=DISK_SN1\nE:ID_SERIAL_SHORT=SN1\n'
            b'E:ID_FS_UUID=0b3c\nG:systemd\n',
    'mountinfo': b'1 1 0:2 / / rw - rootfs rootfs rw\n'
                 b'22 1 253:0 / / rw,relatime shared:1 - xfs /dev/mapper/root rw\n',
    'blkid': b'\x08\x01<device DEVNO="0x0801" TIME="1.1" UUID="first" TYPE="ext4">'
             b'/dev/sda1</device>\n<device UUID="by-node">/dev/sda</device>\n',
    'udev_model_enc': b'E:ID_MODEL=WDC_WD10\nE:ID_MODEL_ENC=WDC\\x20WD10\\x20\\x2\\xzz\n',
    'mount_by_numbers': b'\x08\x21' b'25 22 8:33 / /srv rw - ext4 /dev/sdc1 rw\n'
                        b'30 1 0:40 / / rw - zfs rpool/ROOT/debian rw\n',
    'sysfs_size': b'18446744073709551615\n',
    'sysfs_eui': b'00 25 38 81 91 b2 12 34\n',
    'wwid_naa': b'naa.6005076801808086b000000000000012\n',
    'wwid_uuid': b'uuid.6b1a3c2e-4d5f-4a60-8b71-92a3b4c5d6e7\n',
}

for target, seeds in SEEDS.items():
    folder = os.path.join(HERE, 'corpus', target)
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), 'wb') as seed:
            seed.write(data)
