#!/usr/bin/python3
"""The emulated disks of the QEMU run and the checks of what hdsn-disks said about them.

  qemu_disks.py args WORK            QEMU's disk arguments, one per line; the root's two
                                     disks are files in WORK
  qemu_disks.py check OUT WORK [SCHEMA]
                                     checks the guest's output file OUT; exit 1 on a failure

Disks are matched by serial number, never by name: the kernel names them in
the order its drivers probe, which changes from boot to boot.

The guest runs hdsn-disks twice over. From the initramfs, whose root is on
no disk: as root, as a user, and as root with the kernel's copies hidden.
Then it joins the two disks marked member (the only ones of 48 MiB) with
device-mapper, makes an ext2 file system on them, copies itself there,
switches its root into it and starts udev: as root and as a user once
more, and lsblk beside them.
"""
import json
import os
import re
import sys

# One row per emulated disk: what QEMU is given and what hdsn-disks must say.
#   kind: the row's name in the log; device: the QEMU device (blockdev added)
#   serial: the disk's serial as every run must report it (trimmed)
#   also: serials a source may report besides it (a USB bridge's own serial)
#   bus, model (a text the model must contain, None: any), firmware (None: any)
#   root, user: the serial_source expected as root and as an unprivileged user;
#   the same as root once the kernel's copies are hidden ("hidden"), then
#   answered by the device node, but where the disk has none to ask (node False)
#   member: one of the two disks the switched root lies on
#   paths: the hidden block devices of NVMe multipath, one per controller
#   device: the QEMU device, or a list of them of which the last gets the drive
#   size: the image's bytes (default DISK_BYTES, MEMBER_BYTES for a member)
#   ids: identity fields every run must report so (None: null); root_ids: those
#   only root reads (null as a user); id_sources: the source each must come from
DISKS = [
    dict(kind="sata-ahci", serial="AHCI-SER-0001", bus="SATA", model="HDSN AHCI Disk",
         firmware="AH01", root="ata-identify", user="ata-identify",
         size=80 << 20, ids=dict(wwn="0x5000c500a1b2c3d4", rotation_rate=7200, rotational=True,
                                 logical_sector_size=512, physical_sector_size=4096),
         id_sources=dict(wwn="ata-identify", rotation_rate="ata-identify",
                         physical_sector_size="ata-identify", size="ata-identify"),
         device="ide-hd,bus=ahci.0,serial=AHCI-SER-0001,model=HDSN AHCI Disk,ver=AH01,"
                "wwn=0x5000c500a1b2c3d4,rotation_rate=7200,physical_block_size=4096"),
    # QEMU keeps the leading blank; every source trims it.
    dict(kind="sata-ahci-2", serial="AHCI-SER-0002", bus="SATA", model="HDSN AHCI Disk Two",
         firmware="AH02", root="ata-identify", user="ata-identify", member=True,
         device="ide-hd,bus=ahci.1,serial= AHCI-SER-0002,model=HDSN AHCI Disk Two,ver=AH02"),
    dict(kind="pata-piix", serial="PIIX-SER-0001", bus="ATA", model="HDSN IDE Disk",
         firmware="ID01", root="ata-identify", user="ata-identify",
         size=72 << 20, ids=dict(wwn="0x50014ee2b1c2d3e4", rotation_rate=None, rotational=False),
         id_sources=dict(wwn="ata-identify", rotational="ata-identify", size="ata-identify"),
         device="ide-hd,bus=ide.0,unit=0,serial=PIIX-SER-0001,model=HDSN IDE Disk,ver=ID01,"
                "wwn=0x50014ee2b1c2d3e4,rotation_rate=1"),
    dict(kind="nvme", serial="NVME-SER-0001", bus="NVMe", model="QEMU NVMe Ctrl",
         firmware=None, root="nvme-identify", user="nvme-identify",
         device="nvme,serial=NVME-SER-0001"),
    dict(kind="nvme-2", serial="NVME-SER-0002", bus="NVMe", model="QEMU NVMe Ctrl",
         firmware=None, root="nvme-identify", user="nvme-identify",
         size=96 << 20,
         ids=dict(wwn=None, nguid=None, logical_sector_size=512, physical_sector_size=512,
                  rotational=False, rotation_rate=None),
         root_ids=dict(eui64="0025388191b21234", uuid="6b1a3c2e-4d5f-4a60-8b71-92a3b4c5d6e7"),
         id_sources=dict(eui64="nvme-namespace", uuid="nvme-namespace"),
         device=["nvme,serial=NVME-SER-0002,id=nvme2",
                 "nvme-ns,bus=nvme2,nsid=1,eui64=0x0025388191b21234,"
                 "uuid=6b1a3c2e-4d5f-4a60-8b71-92a3b4c5d6e7,physical_block_size=4096"]),
    # Native multipath: one namespace shared by the two controllers of a
    # subsystem is one disk; the kernel hides its path through each.
    dict(kind="nvme-multipath", serial="NVME-MP-SER-0001", bus="NVMe", model="QEMU NVMe Ctrl",
         firmware=None, root="nvme-identify", user="nvme-identify", paths=2,
         device=["nvme-subsys,id=mpsubsys,nqn=hdsn-multipath",
                 "nvme,serial=NVME-MP-SER-0001,subsys=mpsubsys",
                 "nvme,serial=NVME-MP-SER-0001,subsys=mpsubsys", "nvme-ns,nsid=1"]),
    # With a WWN, udev's scsi_id makes the NAA name of the device identification page
    # ID_SERIAL_SHORT, the unit serial ID_SCSI_SERIAL: the udev source gives the latter.
    dict(kind="virtio-scsi", serial="VSCSI-SER-0001", bus="Virtual",
         model="HDSN SCSI Disk", firmware="VS01", root="scsi-vpd80", user="scsi-vpd80",
         member=True,
         ids=dict(wwn="0x5000c500a1b2c3e6", rotation_rate=10000, rotational=True,
                  logical_sector_size=512, physical_sector_size=512),
         id_sources=dict(wwn="scsi-vpd83", rotation_rate="scsi-vpdb1", size="sysfs"),
         device="scsi-hd,bus=vscsi.0,serial=VSCSI-SER-0001,vendor=HDSNVEND,"
                "product=HDSN SCSI Disk,ver=VS01,wwn=0x5000c500a1b2c3e6,rotation_rate=10000"),
    # usb-storage has no vpd_pg80 file, and is asked for no VPD page, as the
    # kernel asks it none: its serial is the USB device's serial attribute.
    dict(kind="usb-storage", serial="USBSTOR-SER-0001", bus="USB", model="QEMU HARDDISK",
         firmware=None, root="sysfs", user="sysfs", node=False,
         device="usb-storage,bus=xhci.0,serial=USBSTOR-SER-0001"),
    # The UAS bridge and the disk behind it have serials of their own.
    dict(kind="usb-uas", serial="UASDISK-SER-0001", also=["UASUSB-SER-0001"], bus="USB",
         model="HDSN UAS Disk", firmware="UA01", root="scsi-vpd80", user="scsi-vpd80",
         size=88 << 20, ids=dict(wwn="0x5000c500a1b2c3e7", rotation_rate=None, rotational=False,
                                 logical_sector_size=4096, physical_sector_size=4096),
         id_sources=dict(wwn="scsi-vpd83", rotational="scsi-vpdb1",
                         logical_sector_size="sysfs"),
         device="scsi-hd,bus=uas.0,scsi-id=0,lun=0,serial=UASDISK-SER-0001,vendor=HDSNUAS,"
                "product=HDSN UAS Disk,ver=UA01,wwn=0x5000c500a1b2c3e7,rotation_rate=1,"
                "logical_block_size=4096,physical_block_size=4096"),
    dict(kind="virtio-blk", serial="VBLK-SER-0001", bus="Virtual", model=None, firmware=None,
         root="sysfs", user="sysfs", node=False, size=40 << 20,
         ids=dict(wwn=None, physical_sector_size=4096), id_sources=dict(size="sysfs"),
         device="virtio-blk-pci,serial=VBLK-SER-0001,physical_block_size=4096"),
]
SOURCES = ["sysfs", "nvme-identify", "ata-identify", "scsi-vpd80", "udev", "nvme-namespace",
           "scsi-vpd83", "scsi-vpdb1"]
CONTROLLERS = ["ahci,id=ahci", "virtio-scsi-pci,id=vscsi", "qemu-xhci,id=xhci",
               "usb-uas,bus=xhci.0,id=uas,serial=UASUSB-SER-0001"]


# The root's disks are files of this size, the others 64 MiB of zeros
# unless their row says another size.
MEMBER_BYTES = 48 << 20
DISK_BYTES = 64 << 20


def member_image(work, number):
    return f"{work}/member-{number}.img"


def qemu_args(work):
    args = []
    for number, disk in enumerate(DISKS):
        if disk.get("member"):
            with open(member_image(work, number), "wb") as image:
                image.truncate(MEMBER_BYTES)
            args += ["-blockdev",
                     f"driver=file,node-name=d{number},filename={member_image(work, number)}"]
        else:
            args += ["-blockdev", f"driver=null-co,node-name=d{number},"
                     f"size={disk.get('size', DISK_BYTES)},read-zeroes=on"]
    for controller in CONTROLLERS:
        args += ["-device", controller]
    for number, disk in enumerate(DISKS):
        devices = disk["device"] if isinstance(disk["device"], list) else [disk["device"]]
        for device in devices[:-1]:
            args += ["-device", device]
        args += ["-device", f"{devices[-1]},drive=d{number}"]
    return args


def ext2_uuid(work):
    """The UUID of the ext2 file system the guest made on the root's disks, read from the
    first one's superblock (at byte 1024, its UUID 104 bytes in)."""
    first = next(number for number, disk in enumerate(DISKS) if disk.get("member"))
    with open(member_image(work, first), "rb") as image:
        image.seek(1024 + 104)
        raw = image.read(16).hex()
    return None if raw == "0" * 32 else \
        f"{raw[:8]}-{raw[8:12]}-{raw[12:16]}-{raw[16:20]}-{raw[20:]}"


def read_sections(path):
    """The guest writes each file as "@@file NAME", its bytes, a newline, "@@end"."""
    sections, name, lines = {}, None, []
    with open(path, encoding="utf-8", errors="surrogateescape") as out:
        for line in out:
            if name is None:
                if line.startswith("@@file "):
                    name, lines = line[7:].strip(), []
            elif line == "@@end\n":
                sections[name] = "".join(lines)[:-1]
                name = None
            else:
                lines.append(line)
    return sections


def natural_key(name):
    """sda < sdz < sdaa, nvme2n1 < nvme10n1: the kernel's own order."""
    parts = re.findall(r"\d+|[a-z]+", name)
    return [(0, int(p), "") if p.isdigit() else (1, len(p), p) for p in parts]


def clean(text):
    """A text as every source must give it: no blanks, NULs or line ends around it, no controls."""
    return text is None or (text == text.strip(" \0\t\r\n") and text != ""
                            and all(ord(c) >= 0x20 for c in text))


class Check:
    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition


def check_document(check, run, text, rc, schema, switched=None):
    """Checks one run's document; returns its disks by expected serial (or {}). switched:
    the UUID of the root file system the guest switched into, with udev running; None for
    the runs from the initramfs."""
    check.expect(rc == "0", f"{run}: exit status {rc!r}, expected 0")
    try:
        doc = json.loads(text)
    except ValueError as error:
        check.expect(False, f"{run}: not JSON ({error}): {text[:200]!r}")
        return {}
    if schema is not None:
        import jsonschema
        try:
            jsonschema.validate(doc, schema)
        except jsonschema.ValidationError as error:
            check.expect(False, f"{run}: schema: {error.message} at {list(error.absolute_path)}")
    check.expect(list(doc)[:1] == ["schema_version"] and doc.get("schema_version") == 3,
                 f"{run}: schema_version is not the first key or not 3")
    volume = {"root": "/", "serial": switched}
    check.expect(doc.get("system_volume") == volume,
                 f"{run}: system_volume {doc.get('system_volume')}, expected {volume}")
    disks = doc.get("disks", [])
    check.expect(len(disks) == len(DISKS), f"{run}: {len(disks)} disks, QEMU gave {len(DISKS)}")
    names = [disk.get("device", "") for disk in disks]
    for family in ("/dev/sd", "/dev/nvme", "/dev/vd"):
        listed = [name for name in names if name.startswith(family)]
        check.expect(listed == sorted(listed, key=natural_key),
                     f"{run}: {family}* not in the kernel's order: {listed}")
    found = {}
    for disk in disks:
        device = disk.get("device")
        check.expect(re.fullmatch(r"/dev/(sd[a-z]+|nvme\d+n\d+|vd[a-z]+)", str(device)),
                     f"{run}: device {device!r}")
        check.expect(disk.get("index", "absent") is None, f"{run} {device}: index is not null")
        check.expect(disk.get("removable") is False, f"{run} {device}: removable is not false")
        expected = [d for d in DISKS if d["serial"] == disk.get("serial")]
        if not check.expect(len(expected) == 1,
                            f"{run} {device}: serial {disk.get('serial')!r} was given to no disk"):
            continue
        want = expected[0]
        if not check.expect(want["serial"] not in found,
                            f"{run}: two disks with the serial {want['serial']}"):
            continue
        found[want["serial"]] = disk
        where = f"{run} {want['kind']} ({device})"
        system = switched is not None and want.get("member", False)
        check.expect(disk.get("system") is system, f"{where}: system is not {system}")
        check.expect(disk.get("bus") == want["bus"],
                     f"{where}: bus {disk.get('bus')!r}, expected {want['bus']!r}")
        for key in ("serial", "model", "firmware"):
            check.expect(clean(disk.get(key)), f"{where}: {key} {disk.get(key)!r} is not trimmed")
        origin = want.get(run.replace("udev-", ""), want["root"])
        check.expect(disk.get("serial_source") == origin,
                     f"{where}: serial_source {disk.get('serial_source')!r}, expected {origin}")
        if want["model"] is not None:
            check.expect(want["model"] in (disk.get("model") or ""),
                         f"{where}: model {disk.get('model')!r}, expected {want['model']!r}")
        if want["firmware"] is not None:
            check.expect(disk.get("firmware") == want["firmware"],
                         f"{where}: firmware {disk.get('firmware')!r}, expected {want['firmware']!r}")
        sources = disk.get("sources", [])
        check.expect([s.get("name") for s in sources] == SOURCES,
                     f"{where}: sources {[s.get('name') for s in sources]}")
        allowed = [want["serial"]] + want.get("also", [])
        given = set()
        for source in sources:
            name = source.get("name")
            check.expect("via" in source, f"{where} {name}: no via")
            if source.get("ok"):
                check.expect(isinstance(source.get("via"), str), f"{where} {name}: ok without via")
                for key in ("serial", "model", "firmware"):
                    check.expect(clean(source.get(key)),
                                 f"{where} {name}: {key} {source.get(key)!r} is not trimmed")
                serial = source.get("serial")
                if serial is not None:
                    given.add(serial)
                    # A source that names another disk's serial read the wrong files.
                    check.expect(serial in allowed, f"{where} {name}: serial {serial!r}")
            else:
                check.expect(isinstance(source.get("error"), str) and source["error"],
                             f"{where} {name}: failed without an error")
        if run == "hidden" and want.get("node", True):
            answer = [s for s in sources if s.get("name") == origin][:1]
            check.expect(answer and str(answer[0].get("via")).startswith("/dev/"),
                         f"{where}: {origin} did not answer through the device node: {answer}")
        udev = next((s for s in sources if s.get("name") == "udev"), {})
        if switched is None:
            check.expect(udev.get("ok") is False and udev.get("error") == "no udev database",
                         f"{where}: udev source {udev}: the initramfs has no udev database")
        else:
            check.expect(udev.get("ok") is True and
                         str(udev.get("via")).startswith("/run/udev/data/b"),
                         f"{where}: udev source {udev}: udev runs")
        check.expect(disk.get("agree") == (len(given) <= 1), f"{where}: agree {disk.get('agree')}")
    return found


def cell(disk, name):
    """Root's or the user's cell: f (a file answered), d (a device node answered),
    x (asked, no answer), - (not applicable to the disk)."""
    if disk is None:
        return "?"
    for source in disk.get("sources", []):
        if source.get("name") == name:
            if not source.get("ok"):
                return "-" if source.get("error") == "not applicable" else "x"
            return "d" if str(source.get("via")).startswith("/dev/") else "f"
    return "?"


def source_serial(disk, name):
    for source in (disk or {}).get("sources", []):
        if source.get("name") == name and source.get("ok"):
            return source.get("serial")
    return None


def lsblk_serials(text):
    """lsblk's serial of each whole disk, by device node."""
    try:
        devices = json.loads(text).get("blockdevices", [])
    except ValueError:
        return {}
    return {"/dev/" + d.get("name", ""): d.get("serial") for d in devices}


IDENTITY = ["wwn", "eui64", "nguid", "uuid", "size", "logical_sector_size",
            "physical_sector_size", "rotational", "rotation_rate"]
# The runs of root and of the user; "hidden-ids" is root with the kernel's copies of the
# identity's SCSI pages hidden as well.
ROOT_RUNS = ("root", "hidden", "hidden-ids", "udev-root")
USER_RUNS = ("user", "udev-user")


def expected_identity(disk, run):
    """The identity fields the row chose, as the run must report them."""
    want = {"size": disk.get("size", MEMBER_BYTES if disk.get("member") else DISK_BYTES)}
    want.update(disk.get("ids", {}))
    for key, value in disk.get("root_ids", {}).items():
        want[key] = value if run in ROOT_RUNS else None
    return want


def check_identities(check, sections, runs, schema):
    """The identity QEMU was given, in every run; the run with the SCSI pages hidden as well;
    lsblk's WWNs and sizes beside hdsn-disks's."""
    check.expect(sections.get("hidden-ids.count", "0").strip() not in ("", "0"),
                 "hidden-ids: no page of the kernel's was hidden")
    if check.expect("hidden-ids.json" in sections, "hidden-ids: the guest wrote no output"):
        err = sections.get("hidden-ids.err", "")
        check.expect(err == "", f"hidden-ids: standard error {err[:300]!r}")
        runs["hidden-ids"] = check_document(check, "hidden-ids", sections["hidden-ids.json"],
                                            sections.get("hidden-ids.rc", "").strip(), schema)
    for run in ROOT_RUNS + USER_RUNS:
        for disk in DISKS:
            found = runs.get(run, {}).get(disk["serial"])
            if found is None:
                continue
            where = f"{run} {disk['kind']} ({found.get('device')})"
            for key, value in expected_identity(disk, run).items():
                check.expect(found.get(key) == value,
                             f"{where}: {key} {found.get(key)!r}, expected {value!r}")
            for key, source in disk.get("id_sources", {}).items():
                if found.get(key) is not None or run in ROOT_RUNS:
                    check.expect(found.get(f"{key}_source") == source,
                                 f"{where}: {key}_source {found.get(f'{key}_source')!r}, "
                                 f"expected {source}")
            sources = {s.get("name"): s for s in found.get("sources", [])}
            namespace = sources.get("nvme-namespace", {})
            if disk["bus"] == "NVMe":
                # QEMU 7.2 has no NGUID: the namespace's is all zero, which names none.
                check.expect(found.get("nguid") is None, f"{where}: nguid {found.get('nguid')}")
                if run in ROOT_RUNS:
                    check.expect(namespace.get("ok") and str(namespace.get("via")).startswith(
                        "/dev/nvme") and namespace.get("placeholders", {}).get("nguid") ==
                        "all zero", f"{where}: nvme-namespace {namespace}")
                else:
                    check.expect(namespace.get("ok") is False and
                                 namespace.get("error") == "open: 13",
                                 f"{where}: nvme-namespace {namespace}: the node is root's")
            if run == "hidden-ids" and disk.get("ids", {}).get("wwn") and disk["bus"] != "ATA" \
                    and disk["bus"] != "SATA":
                for name in ("scsi-vpd83", "scsi-vpdb1"):
                    answer = sources.get(name, {})
                    check.expect(answer.get("ok") and str(answer.get("via")).startswith("/dev/"),
                                 f"{where}: {name} did not answer through the device node: "
                                 f"{answer}")
    try:
        lsblk = {"/dev/" + d.get("name", ""): d
                 for d in json.loads(sections.get("lsblk-ids.json", "")).get("blockdevices", [])}
    except ValueError:
        lsblk = {}
    check.expect(lsblk, f"lsblk -b -o NAME,WWN,SIZE: {sections.get('lsblk-ids.json', '')[:200]!r}")
    print("The identity as root (a user's where it differs), and lsblk's WWN and size:")
    for disk in DISKS:
        root = runs.get("root", {}).get(disk["serial"]) or {}
        user = runs.get("user", {}).get(disk["serial"]) or {}
        fields = []
        for key in IDENTITY:
            if root.get(key) is None and user.get(key) is None:
                continue
            text = f"{key}={root.get(key)}<{root.get(f'{key}_source')}>"
            if user.get(key) != root.get(key) or user.get(f"{key}_source") != \
                    root.get(f"{key}_source"):
                text += f" (user: {user.get(key)}<{user.get(f'{key}_source')}>)"
            fields.append(text)
        udev = runs.get("udev-root", {}).get(disk["serial"]) or {}
        listed = lsblk.get(udev.get("device"), {})
        print(f"  {disk['kind']:<15} {' '.join(fields)}")
        print(f"  {'':<15} lsblk: wwn={listed.get('wwn')} size={listed.get('size')}")
        if udev and lsblk:
            where = f"lsblk {disk['kind']} ({udev.get('device')})"
            check.expect(str(listed.get("size")) == str(udev.get("size")),
                         f"{where}: size {listed.get('size')}, hdsn-disks {udev.get('size')}")
            if str(listed.get("wwn")).startswith("0x"):
                check.expect(listed.get("wwn") == udev.get("wwn"),
                             f"{where}: WWN {listed.get('wwn')}, hdsn-disks {udev.get('wwn')}")


# What hdsn-disks --fingerprint --salt hdsn-qemu prints with the root on the
# two member disks: the value the simulated Windows machine prints for drives
# of their serials (disks_fingerprint_test.cpp, FingerprintOfTheQemuGuestsDrives).
QEMU_FINGERPRINT = "hdsn-fp1:f143325532453294323c712d011163d02ae6431c80f29dff793b391c8656eb59"
NO_INPUT = "hdsn-disks: no system disk gives a serial number or world wide name\n"


def check_fingerprint(check, sections, schema_path):
    """The fingerprint runs: none from the initramfs, where no disk holds the system;
    with the root on two disks, the same value as root and as a user, the one the
    README's rule gives from the udev-root document (fingerprint_of.py) and from
    QEMU's serials, and a document valid against its schema carrying no serial."""
    from fingerprint_of import fingerprint
    check.expect(sections.get("fp-initramfs.rc", "").strip() == "1" and
                 sections.get("fp-initramfs.out") == "" and
                 sections.get("fp-initramfs.err") == NO_INPUT,
                 "fingerprint from the initramfs: not exit 1, nothing printed and the reason: "
                 f"{[sections.get('fp-initramfs.' + f) for f in ('rc', 'out', 'err')]}")
    values = {}
    for run in ("root", "user"):
        rc = sections.get(f"fp-{run}.rc", "").strip()
        values[run] = sections.get(f"fp-{run}.out", "").strip()
        check.expect(rc == "0" and sections.get(f"fp-{run}.err", "").strip() == "",
                     f"fingerprint as {run}: exit {rc!r}, {sections.get(f'fp-{run}.err')!r}")
    check.expect(values["root"] == values["user"],
                 f"fingerprint as root {values['root']!r}, as a user {values['user']!r}")
    check.expect(values["root"] == QEMU_FINGERPRINT,
                 f"fingerprint {values['root']!r}, expected {QEMU_FINGERPRINT}")
    try:
        rebuilt = fingerprint(json.loads(sections.get("udev-root.json", "")), b"hdsn-qemu")
    except (ValueError, KeyError) as error:
        rebuilt = f"not made: {error}"
    check.expect(rebuilt == values["root"],
                 f"fingerprint by the README's rule from the document: {rebuilt!r}")
    text = sections.get("fp-json.out", "")
    try:
        doc = json.loads(text)
    except ValueError:
        check.expect(False, f"fingerprint --json: not JSON: {text[:200]!r}")
        return
    check.expect(doc.get("value") == values["root"] and
                 [c.get("kind") for c in doc.get("components", [])] == ["serial", "serial"],
                 f"fingerprint --json: {doc}")
    check.expect(not any(d["serial"] in text for d in DISKS), "fingerprint --json names a serial")
    if schema_path:
        import jsonschema
        path = os.path.join(os.path.dirname(schema_path), "hdsn-disks-fingerprint.schema.json")
        with open(path, encoding="utf-8") as f:
            try:
                jsonschema.validate(doc, json.load(f))
            except jsonschema.ValidationError as error:
                check.expect(False, f"fingerprint --json: schema: {error.message}")
    print(f"Fingerprint of the root on two disks, as root and as a user: {values['root']}")


def check(out_path, work, schema_path):
    sections = read_sections(out_path)
    check = Check()
    schema = None
    if schema_path:
        try:
            with open(schema_path, encoding="utf-8") as f:
                schema = json.load(f)
        except FileNotFoundError:
            print(f"note: {schema_path} does not exist yet: documents are only parsed")
    runs = {}
    check.expect(sections.get("hidden.count", "0").strip() not in ("", "0"),
                 "hidden: no file of the kernel's was hidden")
    uuid = ext2_uuid(work)
    check.expect(uuid is not None, "the guest made no file system on the root's disks")
    check.expect("switch.log" not in sections,
                 f"the switch into the root on two disks failed: {sections.get('switch.log')!r}")
    for run in ("root", "user", "hidden", "udev-root", "udev-user"):
        if not check.expect(f"{run}.json" in sections, f"{run}: the guest wrote no output"):
            runs[run] = {}
            continue
        err = sections.get(f"{run}.err", "")
        check.expect(err == "", f"{run}: standard error {err[:300]!r}")
        runs[run] = check_document(check, run, sections[f"{run}.json"],
                                   sections.get(f"{run}.rc", "").strip(), schema,
                                   uuid if run.startswith("udev-") else None)
    for run in ("user", "udev-user"):
        check.expect(sections.get(f"{run}.uid", "").strip() == "1000",
                     f"{run} run's uid {sections.get(f'{run}.uid')!r}, expected 1000")
    paths = sections.get("hidden-paths", "").split("\n")
    paths = [line for line in paths if line]
    check.expect(len(paths) == sum(d.get("paths", 0) for d in DISKS) and
                 all(line.endswith(" 1") for line in paths),
                 f"the paths of multipath are not all there and hidden: {paths}")
    check_identities(check, sections, runs, schema)
    table = sections.get("table.txt", "")
    check.expect(sections.get("table.rc", "").strip() == "0", "table run: exit status not 0")
    for disk in DISKS:
        check.expect(disk["serial"] in table, f"table: {disk['serial']} is missing")

    print("Sources that answered as root / as a user / as root with the kernel's copies hidden,")
    print("then with udev in the root on two disks as root / as a user")
    print("(f: a file, d: a device node, x: no answer, -: not applicable):")
    print(f"  {'disk':<15} {'device':<13}" + "".join(f" {name:<13}" for name in SOURCES)
          + " serial from (root, user), system with udev")
    for disk in DISKS:
        found = [runs[run].get(disk["serial"])
                 for run in ("root", "user", "hidden", "udev-root", "udev-user")]
        device = next((d["device"] for d in found if d and "device" in d), "?")
        cells = "".join(f" {'/'.join(cell(d, n) for d in found):<13}" for n in SOURCES)
        origin = ", ".join(str((d or {}).get("serial_source")) for d in found[:2])
        print(f"  {disk['kind']:<15} {device:<13}{cells} {origin}, "
              f"{str((found[3] or {}).get('system')).lower()}")
    print("Serials with a real udev: QEMU's, hdsn-disks's, its udev source's, lsblk's:")
    lsblk = lsblk_serials(sections.get("lsblk.json", ""))
    for disk in DISKS:
        found = runs["udev-root"].get(disk["serial"]) or {}
        device = found.get("device", "?")
        print(f"  {disk['kind']:<15} {device:<13} {disk['serial']:<17} "
              f"{str(found.get('serial')):<17} {str(source_serial(found, 'udev')):<17} "
              f"{lsblk.get(device)}")
    check_fingerprint(check, sections, schema_path)
    for failure in check.failures:
        print("FAIL:", failure)
    print(f"{len(DISKS)} disks, {len(check.failures)} failures")
    return 1 if check.failures else 0


if __name__ == "__main__":
    if sys.argv[1:2] == ["args"] and len(sys.argv) == 3:
        print("\n".join(qemu_args(sys.argv[2])))
    elif sys.argv[1:2] == ["check"] and len(sys.argv) in (4, 5):
        sys.exit(check(sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) == 5 else None))
    else:
        sys.exit(__doc__)
