#!/usr/bin/env python3
"""Checks a payload folder before its files are embedded in the program.

Usage: check_payload_folder.py FOLDER [STAMP]

Prints one line per fault, naming the file and what is wrong with it, and exits with 1 if
there is any; exits with 0 (and touches STAMP, if given) when the folder is fit to embed."""

import hashlib
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import payload_layout as layout  # noqa: E402

IMAGE_HEADER_SIZE = 24
SEGMENT_HEADER_SIZE = 8
DIGEST_SIZE = 32
PARTITION_ENTRY_SIZE = 32


class Faults:
    def __init__(self, folder):
        self.folder = folder
        self.lines = []

    def add(self, file_name, text):
        self.lines.append("%s: %s" % (os.path.join(self.folder, file_name), text))


def read(folder, file_name, faults):
    try:
        with open(os.path.join(folder, file_name), "rb") as f:
            return f.read()
    except FileNotFoundError:
        faults.add(file_name, "missing")
    except OSError as e:
        faults.add(file_name, "cannot be read (%s)" % e.strerror)
    return None


def check_tool(data, file_name, faults):
    """A PE32+ console program for x86-64."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        faults.add(file_name, "not a Windows executable (no MZ header)")
        return
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0" or len(data) < pe + 24 + 70:
        faults.add(file_name, "not a Windows executable (no PE header)")
        return
    (machine,) = struct.unpack_from("<H", data, pe + 4)
    (optional_magic,) = struct.unpack_from("<H", data, pe + 24)
    (subsystem,) = struct.unpack_from("<H", data, pe + 24 + 68)
    if machine != 0x8664:
        faults.add(file_name, "built for machine 0x%04X, not x86-64 (0x8664)" % machine)
    if optional_magic != 0x20B:
        faults.add(file_name, "optional header magic 0x%03X: not a PE32+ executable" %
                   optional_magic)
    if subsystem != 3:
        faults.add(file_name, "subsystem %d: not a console program (3)" % subsystem)


def check_image(data, file_name, model, faults):
    """Header, segments, checksum and appended digest. Returns False when the image is unusable
    enough that its size means nothing."""
    if len(data) < IMAGE_HEADER_SIZE:
        faults.add(file_name, "only %d bytes, shorter than an image header" % len(data))
        return False
    magic, segment_count = data[0], data[1]
    (chip_id,) = struct.unpack_from("<H", data, 12)
    hash_appended = data[23]
    if magic != 0xE9:
        faults.add(file_name, "image magic 0x%02X, not 0xE9" % magic)
        return False
    if chip_id != model.chip_id:
        faults.add(file_name, "header chip id %d, but the %s needs %d (%s)" %
                   (chip_id, model.name, model.chip_id, model.chip_name))

    position = IMAGE_HEADER_SIZE
    checksum = 0xEF
    for number in range(1, segment_count + 1):
        if position + SEGMENT_HEADER_SIZE > len(data):
            faults.add(file_name, "file ends inside the header of segment %d of %d" %
                       (number, segment_count))
            return False
        address, length = struct.unpack_from("<II", data, position)
        position += SEGMENT_HEADER_SIZE
        if position + length > len(data):
            faults.add(file_name, "segment %d (0x%08X, %d bytes) runs past the end of the file" %
                       (number, address, length))
            return False
        for byte in data[position:position + length]:
            checksum ^= byte
        position += length

    # The checksum byte ends a 16-byte block; the padding before it counts for nothing.
    checksum_at = position + 15 - position % 16
    if checksum_at >= len(data):
        faults.add(file_name, "file ends before the checksum byte")
        return False
    if data[checksum_at] != checksum:
        faults.add(file_name, "checksum byte 0x%02X, but the segment data gives 0x%02X" %
                   (data[checksum_at], checksum))
    if hash_appended != 1:
        faults.add(file_name, "header says no SHA-256 digest is appended")
        return True
    digest_at = checksum_at + 1
    if digest_at + DIGEST_SIZE > len(data):
        faults.add(file_name, "file ends inside the appended SHA-256 digest")
        return False
    if data[digest_at:digest_at + DIGEST_SIZE] != hashlib.sha256(data[:digest_at]).digest():
        faults.add(file_name, "appended SHA-256 digest does not match the image's content")
    return True


def check_partition_table(data, file_name, faults):
    """Returns {label: (type, subtype, offset, size)} of the entries read."""
    partitions = {}
    if len(data) != layout.PARTITION_TABLE_SIZE:
        faults.add(file_name, "%d bytes, a partition table is %d" %
                   (len(data), layout.PARTITION_TABLE_SIZE))
    checksum_seen = False
    position = 0
    while position + PARTITION_ENTRY_SIZE <= len(data):
        entry = data[position:position + PARTITION_ENTRY_SIZE]
        if entry[:2] == b"\xAA\x50":
            kind, subtype, offset, size, label = struct.unpack_from("<BBII16s", entry, 2)
            label = label.split(b"\0", 1)[0].decode("ascii", "replace")
            partitions[label] = (kind, subtype, offset, size)
        elif entry[:2] == b"\xEB\xEB":
            checksum_seen = True
            if entry[2:16] != b"\xFF" * 14:
                faults.add(file_name, "checksum entry at 0x%X is not 0xFF in bytes 2 to 15" %
                           position)
            if entry[16:] != hashlib.md5(data[:position]).digest():
                faults.add(file_name, "MD5 in the checksum entry at 0x%X does not match the "
                           "entries before it" % position)
            position += PARTITION_ENTRY_SIZE
            break
        elif entry == b"\xFF" * PARTITION_ENTRY_SIZE:
            break
        else:
            faults.add(file_name, "entry at 0x%X has magic %s, expected AA 50 (or EB EB for the "
                       "checksum entry)" % (position, entry[:2].hex(" ").upper()))
            return partitions
        position += PARTITION_ENTRY_SIZE
    if not checksum_seen:
        faults.add(file_name, "has no MD5 checksum entry")
    for at in range(position, len(data)):
        if data[at] != 0xFF:
            faults.add(file_name, "byte at 0x%X after the entries is 0x%02X, not 0xFF" %
                       (at, data[at]))
            break
    table_end = layout.PARTITION_TABLE_OFFSET + layout.PARTITION_TABLE_SIZE
    for label, (_, _, offset, size) in partitions.items():
        if offset < table_end and offset + size > layout.PARTITION_TABLE_OFFSET:
            faults.add(file_name, "partition \"%s\" at 0x%X overlaps the partition table" %
                       (label, offset))
    return partitions


def check_model(folder, model, faults):
    boot_name = model.bootloader[1]
    boot = read(folder, boot_name, faults)
    if boot is not None and check_image(boot, boot_name, model, faults):
        end = model.bootloader_offset + len(boot)
        if end > layout.PARTITION_TABLE_OFFSET:
            faults.add(boot_name, "from 0x%X the bootloader ends at 0x%X, past the partition "
                       "table at 0x%X" % (model.bootloader_offset, end,
                                          layout.PARTITION_TABLE_OFFSET))

    table_name = model.partitions[1]
    table = read(folder, table_name, faults)
    app_slot = None
    if table is not None:
        partitions = check_partition_table(table, table_name, faults)
        app_slot = partitions.get(layout.APPLICATION_PARTITION)
        if app_slot is None:
            faults.add(table_name, "has no \"%s\" partition for the application" %
                       layout.APPLICATION_PARTITION)
        elif app_slot[0] != 0x00 or app_slot[2] != layout.APPLICATION_OFFSET:
            faults.add(table_name, "\"%s\" must be an app partition at 0x%X (type %d at 0x%X)" %
                       (layout.APPLICATION_PARTITION, layout.APPLICATION_OFFSET, app_slot[0],
                        app_slot[2]))
            app_slot = None

    firm_name = model.firmware[1]
    firm = read(folder, firm_name, faults)
    if firm is not None and check_image(firm, firm_name, model, faults) and app_slot:
        if len(firm) > app_slot[3]:
            faults.add(firm_name, "%d bytes do not fit \"%s\" of %s (%d bytes)" %
                       (len(firm), layout.APPLICATION_PARTITION, table_name, app_slot[3]))


def check_folder(folder):
    """The faults of a payload folder, one text each; empty when it is fit to embed."""
    faults = Faults(folder)
    if not os.path.isdir(folder):
        faults.lines.append("%s: not a folder" % folder)
        return faults.lines
    tool = read(folder, layout.TOOL[1], faults)
    if tool is not None:
        check_tool(tool, layout.TOOL[1], faults)
    for model in layout.MODELS:
        check_model(folder, model, faults)
    return faults.lines


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write("usage: check_payload_folder.py FOLDER [STAMP]\n")
        return 2
    faults = check_folder(argv[1])
    for line in faults:
        sys.stderr.write("payload check: %s\n" % line)
    if faults:
        return 1
    if len(argv) == 3:
        with open(argv[2], "w") as f:
            f.write("checked\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
