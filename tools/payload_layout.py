"""Where the seven payloads come from and where they go: shared by the stand-in maker and the
payload folder check. Only names and places live here; each script does its own byte work, so
that the two check each other."""

# The payload folder: resource name -> file name. The same names serve the release folder
# (VTF_PAYLOAD_DIR) and the stand-in folder made in the build tree.
TOOL = ("ESPTOOL", "esptool.exe")

# Flash layout shared by both models.
PARTITION_TABLE_OFFSET = 0x8000
PARTITION_TABLE_SIZE = 0xC00
APPLICATION_OFFSET = 0x10000
APPLICATION_PARTITION = "app0"


class Model:
    def __init__(self, name, chip_name, chip_id, bootloader_offset, prefix, file_prefix):
        self.name = name
        self.chip_name = chip_name
        self.chip_id = chip_id
        self.bootloader_offset = bootloader_offset
        self.bootloader = (prefix + "_BOOT", file_prefix + "_bootloader.bin")
        self.partitions = (prefix + "_PART", file_prefix + "_partitions.bin")
        self.firmware = (prefix + "_FIRM", file_prefix + "_firmware.bin")


MODELS = (
    Model("M5Stick C Plus 2", "ESP32", 0, 0x1000, "C2", "c2"),
    Model("M5Stick S3", "ESP32-S3", 9, 0x0, "S3", "s3"),
)

# Every payload in resource order: (resource name, file name).
PAYLOADS = (TOOL,) + tuple(p for m in MODELS for p in (m.bootloader, m.partitions, m.firmware))
