#!/usr/bin/env python3
"""Pads the simulated tool to the real tool's size, as the padded payload folder's esptool.exe,
and lays out the four files of the M5Stick S3 choice under the names a model choice writes
(folder s3/), for the plain copy that extraction is compared with.

Usage: pad_payloads.py <esptool_sim.exe> <padded folder with the stand-in images>"""

import os
import random
import shutil
import sys

TOOL_SIZE = 14_323_136  # the real tool payload, in bytes
S3_FILES = {
    "esptool.exe": "esptool.exe",
    "bootloader.bin": "s3_bootloader.bin",
    "partitions.bin": "s3_partitions.bin",
    "firmware.bin": "s3_firmware.bin",
}


def main():
    tool, folder = sys.argv[1], sys.argv[2]
    with open(tool, "rb") as f:
        data = f.read()
    if len(data) > TOOL_SIZE:
        sys.exit(f"{tool} is larger than the real tool ({len(data)} > {TOOL_SIZE} bytes)")
    # Bytes that no file system squeezes, the same on every run; a program runs with data
    # appended to its file.
    data += random.Random(14323136).randbytes(TOOL_SIZE - len(data))
    with open(os.path.join(folder, "esptool.exe"), "wb") as f:
        f.write(data)

    s3 = os.path.join(folder, "s3")
    os.makedirs(s3, exist_ok=True)
    for target, source in S3_FILES.items():
        shutil.copyfile(os.path.join(folder, source), os.path.join(s3, target))


if __name__ == "__main__":
    main()
