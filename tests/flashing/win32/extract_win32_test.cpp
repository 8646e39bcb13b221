// Payload extraction: byte-exact copies of this executable's own RT_RCDATA payloads, the copy's
// chunks, and the failures that must leave the disk as it was.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "flashing/win32/work_folder_win32.h"
#include "test_files_win32.h"

namespace {

// The contents that make_test_payloads.cmake writes.
const std::string& BigPayload() {
  static const std::string bytes = [] {
    std::string pattern;
    for (int i = 0; i < 65536; ++i) {
      pattern += "0123456789abcdef";
    }
    return pattern + "Z";
  }();
  return bytes;
}
constexpr const char* kSmallPayload = "small payload";

TEST(CopyInChunksTest, CutsThePayloadIntoBufferSizedChunksInOrder) {
  constexpr std::size_t kChunk = kExtractChunkBytes;
  struct Case {
    std::size_t size;
    std::vector<std::size_t> chunks;
  };
  const Case cases[] = {
      {0, {}},
      {13, {13}},
      {kChunk, {kChunk}},
      {kChunk + 1, {kChunk, 1}},
      {2 * kChunk + 5, {kChunk, kChunk, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "payload of " << c.size << " bytes");
    std::vector<std::byte> payload(c.size);
    for (std::size_t i = 0; i < payload.size(); ++i) {
      payload[i] = static_cast<std::byte>((i * 7 + i / 251) % 256);
    }
    std::vector<std::size_t> chunks;
    std::vector<std::byte> written;
    const bool copied = CopyInChunks(payload, [&](std::span<const std::byte> chunk) {
      chunks.push_back(chunk.size());
      written.insert(written.end(), chunk.begin(), chunk.end());
      return true;
    });
    EXPECT_TRUE(copied);
    EXPECT_EQ(chunks, c.chunks);
    EXPECT_TRUE(written == payload);
  }
}

TEST(CopyInChunksTest, StopsAtTheFirstChunkNotWrittenWhole) {
  const std::vector<std::byte> payload(3 * kExtractChunkBytes);
  int offered = 0;
  EXPECT_FALSE(CopyInChunks(payload, [&](std::span<const std::byte>) { return ++offered < 2; }));
  EXPECT_EQ(offered, 2);
}

using ExtractTest = ScratchFolderTest;

TEST_F(ExtractTest, WritesThePayloadByteForByteOverAnyEarlierFile) {
  struct Case {
    const wchar_t* name;  // stored as BIG_PAYLOAD, SMALL_PAYLOAD and EMPTY_PAYLOAD
    std::string content;
  };
  const Case cases[] = {
      {L"BIG_PAYLOAD", BigPayload()},
      {L"Big_Payload", BigPayload()},
      {L"small_payload", kSmallPayload},
      {L"Empty_Payload", ""},
  };
  const std::wstring target = Scratch() + L"firmware.bin";
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "payload " << c.name);
    WriteBytes(target, "an earlier file, longer than the small payload");
    EXPECT_TRUE(ExtractResourceToFile(c.name, target));
    const std::optional<std::string> written = ReadBytes(target);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->size(), c.content.size());
    EXPECT_TRUE(*written == c.content);
  }
}

TEST_F(ExtractTest, FailsAndLeavesTheTargetAsItWas) {
  enum class Target { Absent, Present, HeldOpen, ReadOnly, InMissingFolder };
  struct Case {
    const char* label;
    const wchar_t* name;
    Target target;
  };
  const Case cases[] = {
      {"unknown payload, no file", L"NO_SUCH_PAYLOAD", Target::Absent},
      {"unknown payload, a file", L"NO_SUCH_PAYLOAD", Target::Present},
      {"file held open without sharing", L"SMALL_PAYLOAD", Target::HeldOpen},
      {"read-only file", L"SMALL_PAYLOAD", Target::ReadOnly},
      {"folder missing", L"SMALL_PAYLOAD", Target::InMissingFolder},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::wstring target = c.target == Target::InMissingFolder
                                    ? Scratch() + L"missing\\firmware.bin"
                                    : Scratch() + L"firmware.bin";
    std::optional<std::string> before;
    if (c.target != Target::Absent && c.target != Target::InMissingFolder) {
      before = "the file as it was";
      WriteBytes(target, *before);
    }
    if (c.target == Target::ReadOnly) {
      ASSERT_TRUE(::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    UniqueFile holder;
    if (c.target == Target::HeldOpen) {
      holder.reset(::CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      ASSERT_TRUE(holder);
    }

    EXPECT_FALSE(ExtractResourceToFile(c.name, target));

    holder.reset();
    EXPECT_EQ(ReadBytes(target), before);
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(target.c_str());
    EXPECT_TRUE(NamesIn(Scratch()).empty()) << "a new file stayed beside the target";
  }
  EXPECT_FALSE(Exists(Scratch() + L"missing"));
}

TEST_F(ExtractTest, ALinkAtTheTargetIsReplacedAndWhatItPointsToIsKept) {
  // Made by the flashing_win32_link_fixture step: extract\symbolic\<name> is a symbolic link
  // to outside\symbolic-<name>, extract\hard\<name> a second name of outside\hard-<name>.
  const std::wstring root = LinkFixtureRoot();
  ASSERT_FALSE(root.empty());
  for (const wchar_t* kind : {L"symbolic", L"hard"}) {
    const std::wstring folder = root + L"extract\\" + kind;
    for (const wchar_t* name : {L"esptool.exe", L"firmware.bin"}) {
      SCOPED_TRACE(testing::Message() << "a " << kind << " link under " << name);
      const std::wstring target = folder + L"\\" + name;
      const std::wstring outside = root + L"outside\\" + kind + L"-" + name;
      ASSERT_EQ(ReadBytes(target), "kept") << "the link is not in place";

      EXPECT_TRUE(ExtractResourceToFile(L"SMALL_PAYLOAD", target));

      EXPECT_EQ(ReadBytes(target), kSmallPayload);
      EXPECT_EQ(ReadBytes(outside), "kept");
    }
    EXPECT_EQ(NamesIn(folder).size(), 2u) << "a file beside the targets stayed";
  }
}

}  // namespace
