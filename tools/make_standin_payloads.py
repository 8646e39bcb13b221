#!/usr/bin/env python3
"""Writes the six stand-in device images of a demonstration build into a folder.

They follow the image and partition table formats byte for byte and have the sizes of the real
images, so that extraction, byte counts and progress behave as with the real ones. Their
segment data is filler: no device can run them. Same bytes on every run."""

import hashlib
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import payload_layout as layout  # noqa: E402

IMAGE_MAGIC = 0xE9
CHECKSUM_SEED = 0xEF
FLASH_MODE_DIO = 2
FLASH_8MB_80MHZ = 0x3F
WP_PIN_UNUSED = 0xEE
MMU_PAGE = 0x10000
APP_DESC_MAGIC = 0xABCD5432
IDF_VERSION = "v4.4.7"

# Lengths in a segment plan: a number, FILL (whatever makes the image its size), or
# (ALIGN_NEXT, minimum): the least length from that minimum that puts the next flash-mapped
# segment's data at a file offset congruent to its load address modulo the 64 KiB flash page,
# as the cache mapping needs.
FILL = "fill"
ALIGN_NEXT = "align-next"

# Address ranges that the cache maps from flash (DROM, IROM), by chip id.
FLASH_MAPPED = {
    0: ((0x3F400000, 0x3F800000), (0x400D0000, 0x40400000)),
    9: ((0x3C000000, 0x3E000000), (0x42000000, 0x44000000)),
}


def flash_mapped(chip_id, address):
    return any(start <= address < end for start, end in FLASH_MAPPED[chip_id])


# name: (chip id, entry address, size, [(load address, length)], version for an application)
IMAGES = {
    "C2_BOOT": (0, 0x400805E4, 17568, [
        (0x3FFF0030, 0x1A48),   # DRAM
        (0x40078000, FILL),     # cache used as IRAM
        (0x40080400, 0x0F94),   # IRAM, holds the entry
    ], None),
    "C2_FIRM": (0, 0x400835C8, 824416, [
        (0x3F400020, 0x25F40),             # DROM, starts with the description record
        (0x3FFBDB60, (ALIGN_NEXT, 0x2000)),  # DRAM
        (0x40080000, 0x400),               # IRAM vectors
        (0x400D0020, FILL),                # IROM
        (0x40080400, 0x14E80),             # IRAM, holds the entry
        (0x400C0000, 0x64),                # RTC fast memory
        (0x50000000, 0x10),                # RTC slow memory
    ], "v1.0"),
    "S3_BOOT": (9, 0x403C98D0, 15104, [
        (0x3FCE3810, 0x0388),   # DRAM
        (0x403C9700, FILL),     # IRAM, holds the entry
        (0x403CC710, 0x2A5C),   # IRAM
    ], None),
    "S3_FIRM": (9, 0x403772A0, 725328, [
        (0x3C0A0020, 0x1D8C0),             # DROM, starts with the description record
        (0x3FC96A80, (ALIGN_NEXT, 0x2000)),  # DRAM
        (0x40374000, 0x400),               # IRAM vectors
        (0x42000020, FILL),                # IROM
        (0x40374400, 0xD6F0),              # IRAM, holds the entry
        (0x600FE000, 0x20),                # RTC memory
    ], "v1.3"),
}

# (label, type, subtype, offset, size)
PARTITION_TABLES = {
    "C2_PART": [
        ("nvs", 0x01, 0x02, 0x9000, 0x5000),
        ("otadata", 0x01, 0x00, 0xE000, 0x2000),
        ("app0", 0x00, 0x10, 0x10000, 0x330000),
        ("app1", 0x00, 0x11, 0x340000, 0x330000),
        ("spiffs", 0x01, 0x82, 0x670000, 0x180000),
        ("coredump", 0x01, 0x03, 0x7F0000, 0x10000),
    ],
    "S3_PART": [
        ("nvs", 0x01, 0x02, 0x9000, 0x5000),
        ("otadata", 0x01, 0x00, 0xE000, 0x2000),
        ("app0", 0x00, 0x10, 0x10000, 0x140000),
        ("app1", 0x00, 0x11, 0x150000, 0x140000),
        ("spiffs", 0x01, 0x82, 0x290000, 0x160000),
        ("coredump", 0x01, 0x03, 0x3F0000, 0x10000),
    ],
}


def filler(label, length):
    """Deterministic bytes that compress about as well as compiled code (zlib level 9 makes
    roughly 60 % of them), so that the tool's compressed sizes and block counts look real:
    32-byte runs that are either fresh, copied from up to 4 KiB back, or drawn from a small
    vocabulary of words."""
    random = hashlib.shake_256(label.encode()).digest(length * 2 + 256)
    vocabulary = [random[i:i + 4] for i in range(0, 256, 4)]
    out = bytearray()
    at = 256
    while len(out) < length:
        kind, pick = random[at], random[at + 1] | random[at + 2] << 8
        at += 3
        if kind < 75 and len(out) >= 64:
            start = len(out) - 32 - pick % min(len(out) - 32, 4096)
            out += out[start:start + 32]
        elif kind < 135:
            out += b"".join(vocabulary[random[at + i] % 64] for i in range(8))
            at += 8
        else:
            out += random[at:at + 32]
            at += 32
    return bytes(out[:length])


def cstring(text, length):
    return text.encode().ljust(length, b"\0")


def app_description(name, version):
    """The application description record (256 bytes) at the start of the first segment."""
    record = struct.pack(
        "<II8s32s32s16s16s32s32s80s",
        APP_DESC_MAGIC,
        0,  # secure version
        b"",
        cstring(version, 32),
        cstring("tracker-standin", 32),
        cstring("00:00:00", 16),
        cstring("Jan  1 2024", 16),
        cstring(IDF_VERSION, 32),
        hashlib.sha256(("stand-in " + name).encode()).digest(),
        b"",
    )
    assert len(record) == 256
    return record


def image_header(segment_count, entry, chip_id):
    return struct.pack(
        "<BBBBIBBBBHBHH4sB",
        IMAGE_MAGIC,
        segment_count,
        FLASH_MODE_DIO,
        FLASH_8MB_80MHZ,
        entry,
        WP_PIN_UNUSED,
        0, 0, 0,  # SPI pin drive settings
        chip_id,
        0,  # minimum chip revision
        0,  # minimum full chip revision
        0xFFFF,  # maximum full chip revision
        b"",
        1,  # SHA-256 appended
    )


def segment_lengths(chip_id, plan, size):
    """Resolves FILL and ALIGN_NEXT so that the image comes out at exactly size bytes."""
    # The checksum byte ends a 16-byte block and the digest follows it, so the segments end at
    # most 16 bytes before the digest. Ending 4 bytes short of the checksum leaves 3 bytes of
    # padding, which keeps the padding rule in play.
    segments_end = size - 32 - 4
    lengths = []
    offset = 24
    for i, (_, length) in enumerate(plan):
        offset += 8
        if isinstance(length, tuple):
            minimum = length[1]
            next_data = offset + minimum
            for address, between in plan[i + 1:]:
                next_data += 8
                if flash_mapped(chip_id, address):
                    break
                next_data += between
            length = minimum + (address - next_data) % MMU_PAGE
        lengths.append(length)
        if length != FILL:
            offset += length
    fill = segments_end - offset
    assert fill > 0 and fill % 4 == 0, "segment plan does not fit the size"
    return [fill if length == FILL else length for length in lengths]


def make_image(name, chip_id, entry, size, plan, version):
    lengths = segment_lengths(chip_id, plan, size)
    out = bytearray(image_header(len(plan), entry, chip_id))
    checksum = CHECKSUM_SEED
    spans = []
    for i, ((address, _), length) in enumerate(zip(plan, lengths)):
        assert length % 4 == 0
        data = filler("%s segment %d" % (name, i + 1), length)
        if i == 0 and version is not None:
            data = app_description(name, version) + data[256:]
        out += struct.pack("<II", address, length)
        if flash_mapped(chip_id, address):
            assert len(out) % MMU_PAGE == address % MMU_PAGE, "flash-mapped segment misaligned"
        out += data
        for byte in data:
            checksum ^= byte
        spans.append((address, address + length))
    spans.sort()
    assert all(a[1] <= b[0] for a, b in zip(spans, spans[1:])), "segments overlap"
    assert any(start <= entry < end for start, end in spans), "entry outside the segments"
    out += bytes(15 - len(out) % 16)
    out.append(checksum)
    out += hashlib.sha256(out).digest()
    assert len(out) == size
    return bytes(out)


def make_partition_table(entries):
    table = b"".join(
        struct.pack("<2sBBII16sI", b"\xAA\x50", kind, subtype, offset, size, cstring(label, 16), 0)
        for label, kind, subtype, offset, size in entries
    )
    table += b"\xEB\xEB" + b"\xFF" * 14 + hashlib.md5(table).digest()
    return table.ljust(layout.PARTITION_TABLE_SIZE, b"\xFF")


def make_all():
    """Resource name -> bytes, for the six images."""
    payloads = {}
    for name, (chip_id, entry, size, plan, version) in IMAGES.items():
        payloads[name] = make_image(name, chip_id, entry, size, plan, version)
    for name, entries in PARTITION_TABLES.items():
        payloads[name] = make_partition_table(entries)
    return payloads


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_standin_payloads.py FOLDER\n")
        return 2
    folder = argv[1]
    os.makedirs(folder, exist_ok=True)
    files = dict(layout.PAYLOADS)
    for name, data in make_all().items():
        path = os.path.join(folder, files[name])
        with open(path, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
