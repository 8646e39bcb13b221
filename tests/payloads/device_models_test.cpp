#include "payloads/device_models.h"

#include <gtest/gtest.h>

namespace {

TEST(DeviceModels, LabelsFollowTheCaptionsVersionText) {
  const struct {
    std::wstring_view caption;
    std::wstring_view s3Label;
  } cases[] = {
      {L"VantorTrackerFlasher v1.3", L"M5Stick S3 (firm 1.3)"},
      {L"VantorTrackerFlasher v2.10", L"M5Stick S3 (firm 2.10)"},
      {L"VantorTrackerFlasher v2.0", L"M5Stick S3 (firm 2.0)"},
      {L"VantorTrackerFlasher v", L"M5Stick S3 (firm )"},  // 22 characters
      {L"", L"M5Stick S3 (firm )"},
  };
  for (const auto& c : cases) {
    const auto items = DeviceListItems(c.caption);
    EXPECT_EQ(items[0], L"Select a device");
    EXPECT_EQ(items[1], L"M5Stick C Plus 2 (deprecated firm 1.0 only)");
    EXPECT_EQ(items[2], c.s3Label);
  }
}

TEST(DeviceModels, OnlyIndexesOneAndTwoAreModels) {
  for (int index : {-1, 0, 3}) {
    EXPECT_EQ(DeviceModelAt(index), nullptr) << index;
  }
  ASSERT_NE(DeviceModelAt(1), nullptr);
  ASSERT_NE(DeviceModelAt(2), nullptr);
}

TEST(DeviceModels, PerModelValues) {
  const DeviceModel& c2 = *DeviceModelAt(1);
  const DeviceModel& s3 = *DeviceModelAt(2);
  EXPECT_EQ(c2.chipArgument, L"esp32");
  EXPECT_EQ(s3.chipArgument, L"esp32s3");
  EXPECT_EQ(c2.bootloaderOffset, L"0x1000");
  EXPECT_EQ(s3.bootloaderOffset, L"0x0");
  for (const DeviceModel* m : {&c2, &s3}) {
    EXPECT_EQ(m->partitionTableOffset, L"0x8000");
    EXPECT_EQ(m->applicationOffset, L"0x10000");
    EXPECT_EQ(m->files[0].fileName, L"esptool.exe");
    EXPECT_EQ(m->files[0].payloadName, L"ESPTool");
    EXPECT_EQ(m->files[1].fileName, L"bootloader.bin");
    EXPECT_EQ(m->files[2].fileName, L"partitions.bin");
    EXPECT_EQ(m->files[3].fileName, L"firmware.bin");
  }
  EXPECT_EQ(c2.files[1].payloadName, L"C2_BOOT");
  EXPECT_EQ(c2.files[2].payloadName, L"C2_PART");
  EXPECT_EQ(c2.files[3].payloadName, L"C2_FIRM");
  EXPECT_EQ(s3.files[1].payloadName, L"S3_BOOT");
  EXPECT_EQ(s3.files[2].payloadName, L"S3_PART");
  EXPECT_EQ(s3.files[3].payloadName, L"S3_FIRM");
  EXPECT_FALSE(c2.showsPowerButtonHints);
  EXPECT_TRUE(s3.showsPowerButtonHints);
  EXPECT_TRUE(c2.asksForPortWhenPrepared);
  EXPECT_FALSE(s3.asksForPortWhenPrepared);
}

}  // namespace
