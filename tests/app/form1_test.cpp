#include "app/form1.h"

#include <gtest/gtest.h>

#include "fake_controls.h"

namespace {

using Lines = std::vector<std::wstring>;

const std::wstring kFolder = L"C:\\Temp\\VantorTrackerFlash\\";
const std::wstring kS3Label = L"M5Stick S3 (firm 1.3)";
const std::wstring kC2Label = L"M5Stick C Plus 2 (deprecated firm 1.0 only)";
const Lines kS3Hints = {
    L"\u26A0 IMPORTANT: your M5Stick S3 is not detected, try holding the side Power button for 2 "
    L"seconds",
    L"\u27A1 Wait for the green LED to start blinking", L"\u27A1 Then re-select the COM port."};

// What a probe of a present S3 prints, as the runner hands it over.
ToolRun S3Probe() {
  return {{L"esptool v5.3.1", L"Serial port COM7:", L"Connecting....",
           L"Connected to ESP32-S3 on COM7:", L"Detecting chip type... ESP32-S3",
           L"Chip type:          ESP32-S3 (QFN56) (revision v0.2)",
           L"MAC:                00:11:22:33:44:55", L"Uploading stub flasher...",
           L"Stub flasher running.", L"Chip ID: 0x00000000", L"", L"Hard resetting via RTS pin..."},
          0};
}

ToolRun S3Flash() {
  return {{L"esptool v5.3.1", L"Connecting....", L"Changing baud rate to 460800...",
           L"\rWriting at 0x00000000 [>         ]   0.0% 0/9728 bytes... ",
           L"\rWriting at 0x00003b00 [==========] 100.0% 9728/9728 bytes... ",
           L"Wrote 15104 bytes (9728 compressed) at 0x00000000 in 0.3 seconds (400.0 kbit/s).",
           L"Hash of data verified.", L"\rWriting at 0x00010000 [===>      ]  37.5% 6/16 bytes... ",
           L"Hard resetting via RTS pin..."},
          0};
}

// The window's controls wired to a TForm1 as the real window wires them.
struct Window {
  Window() {
    WorkFolder.clear();
    device.onChange = [this] { form.ComboDeviceChange(); };
    port.onDropDown = [this] { form.ComboBoxPortDropDown(); };
    port.onChange = [this] { form.ComboBoxPortChange(); };
    machine.registryPorts = {L"COM3", L"COM7"};
  }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  void Create() { form.FormCreate(); }
  Lines LogSince(std::size_t from) const {
    return Lines(log.lines.begin() + static_cast<std::ptrdiff_t>(from), log.lines.end());
  }
  // Model chosen, port list opened, a port chosen and probed with success.
  void ReachReady(int model, int portIndex = 2) {
    Create();
    device.Choose(model);
    port.Open();
    machine.runs.push_back(S3Probe());
    port.Choose(portIndex);
  }

  FakeLog log;
  FakeDropDown device;
  FakeDropDown port;
  FakeButton flash;
  FakeProgress bar;
  FakePanel panel;
  FakeMachine machine;
  TForm1 form{Form1Controls{log, device, port, flash, bar, panel}, machine,
              L"VantorTrackerFlasher v1.3"};
};

class Form1Test : public ::testing::Test, public Window {};

TEST_F(Form1Test, CreationSetsTheInitialStateAndRunsNoHandler) {
  Create();
  EXPECT_EQ(log.lines, Lines{L"Select a device to begin..."});
  EXPECT_EQ(device.Entries(), (Lines{L"Select a device", kC2Label, kS3Label}));
  EXPECT_EQ(device.ItemIndex(), 0);
  EXPECT_EQ(device.Text(), L"Select a device");
  EXPECT_TRUE(device.Enabled());
  EXPECT_EQ(port.Entries(), Lines{L"Select COM port"});
  EXPECT_EQ(port.ItemIndex(), 0);
  EXPECT_EQ(port.Text(), L"Select COM port");
  EXPECT_FALSE(port.Enabled());
  EXPECT_FALSE(flash.enabled);
  EXPECT_EQ(WorkFolder, kFolder);
  EXPECT_TRUE(machine.extractions.empty());
  EXPECT_EQ(device.changeCount + port.changeCount, 0);
  EXPECT_EQ(panel.looks, 1);
  EXPECT_EQ(panel.look.background, 0xFFCC00U);
  EXPECT_EQ(panel.look.captionColour, 0x003087U);
  EXPECT_TRUE(panel.look.bold && panel.look.italic && panel.look.handPointer);
}

TEST_F(Form1Test, CreationStopsAtAWorkFolderError) {
  machine.workFolderError = true;
  EXPECT_THROW(Create(), AppError);
  EXPECT_TRUE(log.lines.empty());
  EXPECT_TRUE(device.Entries().empty());
  EXPECT_TRUE(WorkFolder.empty());
}

TEST_F(Form1Test, ModelChoiceByIndex) {
  const struct {
    const char* name;
    int model;
    bool portChosen;
    Lines lines;
    std::vector<std::wstring> payloads;  // extracted, in order
    bool portEnabled;
    bool flashEnabled;
  } cases[] = {
      {"C Plus 2, no port",
       1,
       false,
       {L"Preparing files for " + kC2Label + L"...", L"Files prepared for flashing.",
        L"Select a COM port."},
       {L"ESPTool", L"C2_BOOT", L"C2_PART", L"C2_FIRM"},
       true,
       false},
      {"S3, no port",
       2,
       false,
       {L"Preparing files for " + kS3Label + L"...", L"Files prepared for flashing."},
       {L"ESPTool", L"S3_BOOT", L"S3_PART", L"S3_FIRM"},
       true,
       false},
      {"S3, port already chosen",
       2,
       true,
       {L"Preparing files for " + kS3Label + L"...", L"Files prepared for flashing."},
       {L"ESPTool", L"S3_BOOT", L"S3_PART", L"S3_FIRM"},
       true,
       true},
      {"prompt entry", 0, true, {L"Please select a device model."}, {}, false, false},
  };
  const wchar_t* fileNames[] = {L"esptool.exe", L"bootloader.bin", L"partitions.bin",
                                L"firmware.bin"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    w.Create();
    if (c.portChosen) {
      w.device.Choose(1);  // a port can only be chosen once a model enabled the list
      w.port.Open();
      w.machine.runs.push_back(S3Probe());
      w.port.Choose(1);
      ASSERT_TRUE(w.flash.enabled);
      w.machine.extractions.clear();
    }
    const std::size_t before = w.log.lines.size();
    WorkFolder = L"stale";
    w.device.Choose(c.model);
    EXPECT_EQ(w.LogSince(before), c.lines);
    EXPECT_EQ(WorkFolder, kFolder);
    Lines expectedExtractions;
    for (std::size_t i = 0; i < c.payloads.size(); ++i) {
      expectedExtractions.push_back(c.payloads[i] + L" -> " + kFolder + fileNames[i]);
    }
    EXPECT_EQ(w.machine.extractions, expectedExtractions);
    EXPECT_EQ(w.port.Enabled(), c.portEnabled);
    EXPECT_EQ(w.flash.enabled, c.flashEnabled);
    if (c.model == 0) {
      EXPECT_EQ(w.port.ItemIndex(), 0);
      EXPECT_EQ(w.port.Text(), L"Select COM port");
    }
    EXPECT_EQ(w.port.changeCount, c.portChosen ? 1 : 0) << "a model choice runs no port handler";
  }
}

TEST_F(Form1Test, TypedModelTextOnlyLogsAndKeepsEverythingElse) {
  ReachReady(2);
  ASSERT_TRUE(flash.enabled);
  machine.extractions.clear();
  const std::size_t before = log.lines.size();
  device.CaretAtEnd();
  device.Type(L'x');  // "M5Stick S3 (firm 1.3)x" begins no entry
  device.Type(L'y');
  EXPECT_EQ(device.ItemIndex(), -1);
  EXPECT_EQ(LogSince(before), (Lines{L"Preparing files for " + kS3Label + L"x...",
                                     L"Preparing files for " + kS3Label + L"xy..."}));
  EXPECT_TRUE(machine.extractions.empty());
  EXPECT_TRUE(flash.enabled);
  EXPECT_TRUE(port.Enabled());
  EXPECT_EQ(machine.workFolderCalls, 5);  // creation, choice, probe, then each keystroke
}

TEST_F(Form1Test, TypingAModelsFirstLetterChoosesIt) {
  Create();
  device.SelectAll();
  device.Type(L'm');
  EXPECT_EQ(device.ItemIndex(), 1);
  EXPECT_EQ(log.lines.at(1), L"Preparing files for m5Stick C Plus 2 (deprecated firm 1.0 only)...");
  EXPECT_EQ(machine.extractions.size(), 4U);
}

TEST_F(Form1Test, AFailedExtractionIsNamedRemovedAndBlocksTheFlash) {
  ReachReady(1);
  ASSERT_TRUE(flash.enabled);
  machine.failingPayloads = {L"S3_FIRM", L"S3_BOOT"};
  const std::size_t before = log.lines.size();
  device.Choose(2);
  EXPECT_EQ(LogSince(before), (Lines{L"Preparing files for " + kS3Label + L"...",
                                     L"Could not prepare bootloader.bin \u274C",
                                     L"Could not prepare firmware.bin \u274C"}));
  EXPECT_EQ(machine.removedFiles, (Lines{kFolder + L"bootloader.bin", kFolder + L"firmware.bin"}));
  EXPECT_EQ(machine.files.count(kFolder + L"bootloader.bin"), 0U) << "no stale or partial image";
  EXPECT_EQ(machine.files.at(kFolder + L"partitions.bin"), L"S3_PART");
  EXPECT_FALSE(port.Enabled());
  EXPECT_FALSE(flash.enabled);

  // Choosing the model again retries.
  machine.failingPayloads.clear();
  device.Choose(2);
  EXPECT_EQ(log.lines.back(), L"Files prepared for flashing.");
  EXPECT_TRUE(port.Enabled());
  EXPECT_TRUE(flash.enabled) << "the port chosen before is still chosen";
}

TEST_F(Form1Test, OpeningThePortListRebuildsItFromTheRegistry) {
  Create();
  device.Choose(2);
  machine.registryPorts = {L"COM9", L"COM3", L"COM3", L""};
  const std::size_t before = log.lines.size();
  port.Open();
  EXPECT_EQ(port.Entries(), (Lines{L"Select COM port", L"COM9", L"COM3", L"COM3", L""}));
  EXPECT_EQ(port.ItemIndex(), 0);
  EXPECT_EQ(port.Text(), L"Select COM port");
  EXPECT_EQ(LogSince(before), Lines{});
  EXPECT_EQ(port.changeCount, 0);

  machine.registryPorts.clear();
  port.Open();
  EXPECT_EQ(port.Entries(), Lines{L"Select COM port"});
}

TEST_F(Form1Test, OpeningAndClosingWithoutAChoiceKeepsFlashEnabled) {
  ReachReady(2);
  port.Open();
  EXPECT_EQ(port.ItemIndex(), 0);
  EXPECT_EQ(port.Text(), L"Select COM port");
  EXPECT_TRUE(flash.enabled);
  EXPECT_EQ(log.lines.back(), L"Ready to flash...");

  // A press then runs the tool with the prompt as the port text.
  machine.runs.push_back({{L"usage: esptool [-h]"}, 2});
  form.ButtonFlashClick();
  EXPECT_NE(machine.commandLines.back().find(L" --port Select COM port --baud 460800 "),
            std::wstring::npos);
  EXPECT_EQ(log.lines.back(), L"Flash error \u274C Code : 2");
}

TEST_F(Form1Test, ARegistryValueThatIsNotAStringStopsTheListing) {
  Create();
  device.Choose(2);
  port.Open();
  port.Choose(0);  // shows "Select COM port"
  machine.registryPorts = {L"COM3", L"COM4", L"COM5"};
  machine.badValueAt = 2;
  EXPECT_THROW(port.Open(), AppError);
  EXPECT_EQ(port.Entries(), (Lines{L"COM3", L"COM4"})) << "no prompt inserted";
  EXPECT_EQ(port.ItemIndex(), -1);
  EXPECT_EQ(port.Text(), L"Select COM port") << "the field keeps its text";
}

TEST_F(Form1Test, PortChangeWithoutAPort) {
  ReachReady(2);
  ASSERT_TRUE(flash.enabled);
  const std::size_t before = log.lines.size();
  port.Choose(0);
  EXPECT_FALSE(flash.enabled);
  port.CaretAtEnd();
  port.Type(L'!');  // "Select COM port!" begins no entry
  port.Type(L'!');
  EXPECT_EQ(port.ItemIndex(), -1);
  EXPECT_EQ(LogSince(before),
            (Lines{L"Select a COM port.", L"Select a COM port.", L"Select a COM port."}));
  EXPECT_EQ(machine.commandLines.size(), 1U) << "only the first probe ran";
}

TEST_F(Form1Test, TypingAPortsFirstLetterProbesWithTheTypedText) {
  Create();
  device.Choose(2);
  port.Open();
  machine.runs.push_back(S3Probe());
  port.SelectAll();
  port.Type(L'c');
  EXPECT_EQ(port.ItemIndex(), 1);
  EXPECT_EQ(machine.commandLines.back(),
            L"\"" + kFolder + L"esptool.exe\" --chip auto --port cOM3 chip_id");
  port.Type(L'o');  // COM3 stays selected: nothing runs
  EXPECT_EQ(machine.commandLines.size(), 1U);
}

TEST_F(Form1Test, ASuccessfulProbeShowsTheFilteredOutputAndEnablesFlash) {
  Create();
  device.Choose(2);
  port.Open();
  const std::size_t before = log.lines.size();
  machine.runs.push_back(S3Probe());
  port.Choose(2);
  EXPECT_EQ(machine.commandLines.back(),
            L"\"" + kFolder + L"esptool.exe\" --chip auto --port COM7 chip_id");
  EXPECT_EQ(LogSince(before),
            (Lines{L"Verifying Stick on COM7...", L"\U0001F50D Device detected: ESP32-S3",
                   L"Chip ID: 0x00000000", L"Stick detected \u2714", L"Ready to flash..."}));
  EXPECT_TRUE(flash.enabled);
  EXPECT_EQ(port.ItemIndex(), 2);
}

TEST_F(Form1Test, ASuccessfulProbeWithTypedModelTextLeavesFlashDisabled) {
  Create();
  device.Choose(2);
  device.CaretAtEnd();
  device.Type(L'x');
  port.Open();
  machine.runs.push_back(S3Probe());
  port.Choose(1);
  EXPECT_EQ(log.lines.back(), L"Ready to flash...");
  EXPECT_FALSE(flash.enabled);
}

TEST_F(Form1Test, AFailedProbeResetsThePortAndHintsForTheS3Only) {
  const struct {
    int model;
    ToolRun run;
    bool toolPresent;
    Lines hints;
  } cases[] = {
      {1,
       {{L"A fatal error occurred: Failed to connect to ESP32: No serial data received."}, 2},
       true,
       {}},
      {2,
       {{L"A fatal error occurred: Failed to connect to ESP32-S3: No serial data received.",
         L"For troubleshooting steps visit: https://docs.espressif.com"},
        2},
       true,
       kS3Hints},
      {2, {{}, 1}, true, kS3Hints},
      {2, {}, false, kS3Hints},  // the tool cannot be started
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    Window w;
    w.machine.toolPresent = c.toolPresent;
    w.Create();
    w.device.Choose(c.model);
    w.port.Open();
    w.machine.runs.push_back(c.run);
    const std::size_t before = w.log.lines.size();
    w.port.Choose(1);
    Lines expected{L"Verifying Stick on COM3...", L"Stick not detected \u274C"};
    expected.insert(expected.end(), c.hints.begin(), c.hints.end());
    EXPECT_EQ(w.LogSince(before), expected);
    EXPECT_EQ(w.port.ItemIndex(), 0);
    EXPECT_EQ(w.port.Text(), L"Select COM port");
    EXPECT_TRUE(w.port.Enabled());
    EXPECT_FALSE(w.flash.enabled);
    EXPECT_EQ(w.port.changeCount, 1) << "the reset runs no port handler";
  }
}

TEST_F(Form1Test, ASuccessfulFlashReportsAndStartsANewCycle) {
  ReachReady(2);
  bar.position = 55;
  const std::size_t before = log.lines.size();
  const int deviceChanges = device.changeCount;
  const int portChanges = port.changeCount;
  machine.runs.push_back(S3Flash());
  form.ButtonFlashClick();

  EXPECT_EQ(machine.commandLines.back(),
            L"\"" + kFolder +
                L"esptool.exe\" --chip esp32s3 --port COM7 --baud 460800 write-flash 0x0 \"" +
                kFolder + L"bootloader.bin\" 0x8000 \"" + kFolder + L"partitions.bin\" 0x10000 \"" +
                kFolder + L"firmware.bin\"");
  EXPECT_EQ(
      LogSince(before),
      (Lines{L"Flashing\u2026", L"Changing baud rate to 460800...",
             L"Writing at 0x00000000 [>         ]   0.0% 0/9728 bytes...",
             L"Writing at 0x00003b00 [==========] 100.0% 9728/9728 bytes...",
             L"Wrote 15104 bytes (9728 compressed) at 0x00000000 in 0.3 seconds (400.0 kbit/s).",
             L"Hash of data verified.", L"Writing at 0x00010000 [===>      ]  37.5% 6/16 bytes...",
             L"Flash successfull... Enjoy ! \u2714", L" ",
             L"\u27A1 if your device is not restarting, turn it off and on again."}));
  EXPECT_EQ(bar.history, (std::vector<int>{0, 0, 100, 38}));
  EXPECT_EQ(port.ItemIndex(), 0);
  EXPECT_EQ(port.Text(), L"Select COM port");
  EXPECT_FALSE(port.Enabled());
  EXPECT_EQ(device.ItemIndex(), 0);
  EXPECT_EQ(device.Text(), L"Select a device");
  EXPECT_FALSE(flash.enabled);
  EXPECT_EQ(device.changeCount, deviceChanges);
  EXPECT_EQ(port.changeCount, portChanges);

  // The next cycle starts with a model choice, which extracts again.
  machine.extractions.clear();
  device.Choose(1);
  EXPECT_EQ(machine.extractions.size(), 4U);
  EXPECT_TRUE(port.Enabled());
}

TEST_F(Form1Test, AFailedFlashReportsTheSignedCodeAndChangesNothing) {
  const struct {
    ToolRun run;
    bool toolPresent;
    std::wstring line;
  } cases[] = {
      {{{}, 2}, true, L"Flash error \u274C Code : 2"},
      {{{}, 1}, true, L"Flash error \u274C Code : 1"},
      {{{}, -1}, true, L"Flash error \u274C Code : -1"},  // exit code 4294967295
      {{}, false, L"Flash error \u274C Code : -1"},       // the tool file was deleted
  };
  ReachReady(1);
  for (const auto& c : cases) {
    machine.toolPresent = c.toolPresent;
    machine.runs.push_back(c.run);
    form.ButtonFlashClick();
    EXPECT_EQ(log.lines.back(), c.line);
    EXPECT_EQ(device.ItemIndex(), 1);
    EXPECT_EQ(port.ItemIndex(), 2);
    EXPECT_TRUE(port.Enabled());
    EXPECT_TRUE(flash.enabled);
  }
  EXPECT_NE(machine.commandLines.back().find(L"--chip esp32 --port COM7 --baud 460800 write-flash "
                                             L"0x1000 \""),
            std::wstring::npos);
}

TEST_F(Form1Test, BothToolLinesNameTheFolderAsTheToolCanPrintItAndTheFilesStayInTheFolder) {
  const std::wstring folder = L"C:\\Users\\Ji\u0159\u00ED\\Temp\\VantorTrackerFlash\\";
  const std::wstring shortFolder = L"C:\\Users\\JI_~1\\Temp\\VANTOR~1\\";
  machine.workFolder = folder;
  machine.toolFolders[folder] = shortFolder;
  ReachReady(2);
  EXPECT_EQ(machine.commandLines.back(),
            L"\"" + shortFolder + L"esptool.exe\" --chip auto --port COM7 chip_id");
  machine.runs.push_back({});
  form.ButtonFlashClick();
  EXPECT_EQ(machine.commandLines.back(),
            L"\"" + shortFolder + L"esptool.exe\" --chip esp32s3 --port COM7 --baud 460800 " +
                L"write-flash 0x0 \"" + shortFolder + L"bootloader.bin\" 0x8000 \"" + shortFolder +
                L"partitions.bin\" 0x10000 \"" + shortFolder + L"firmware.bin\"");
  EXPECT_EQ(WorkFolder, folder);
  EXPECT_EQ(machine.files.count(folder + L"firmware.bin"), 1U);
}

TEST_F(Form1Test, FlashWithoutAModelStopsAfterTheWorkFolder) {
  ReachReady(2);
  device.CaretAtEnd();
  device.Type(L'x');
  bar.position = 40;
  const int folderCalls = machine.workFolderCalls;
  const std::size_t runs = machine.commandLines.size();
  const std::size_t before = log.lines.size();
  form.ButtonFlashClick();
  EXPECT_EQ(LogSince(before), (Lines{L"Flashing\u2026", L"No device selected."}));
  EXPECT_EQ(bar.position, 0);
  EXPECT_EQ(machine.workFolderCalls, folderCalls + 1);
  EXPECT_EQ(machine.commandLines.size(), runs);
}

TEST_F(Form1Test, AWorkFolderErrorStopsAHandlerAfterItsFirstLine) {
  Create();
  device.Choose(2);
  port.Open();
  machine.workFolderError = true;
  EXPECT_THROW(port.Choose(1), AppError);
  EXPECT_EQ(log.lines.back(), L"Verifying Stick on COM3...");
  EXPECT_TRUE(machine.commandLines.empty());
  EXPECT_THROW(device.Choose(1), AppError);
  EXPECT_EQ(log.lines.back(), L"Preparing files for " + kC2Label + L"...");
  EXPECT_EQ(WorkFolder, kFolder) << "keeps its earlier value";
}

TEST_F(Form1Test, DonationClickOpensThePageAndLogsNothing) {
  Create();
  form.PanelDonateClick();
  form.PanelDonateClick();
  ASSERT_EQ(machine.openedAddresses.size(), 2U);
  EXPECT_EQ(
      machine.openedAddresses[0].rfind(L"https://www.paypal.com/donate/?hosted_button_id=", 0), 0U);
  EXPECT_GT(machine.openedAddresses[0].size(), 48U);
  EXPECT_EQ(log.lines.size(), 1U);
}

TEST_F(Form1Test, DestructionRemovesTheRecordedFolderAndSwallowsErrors) {
  Create();
  machine.removalError = true;
  EXPECT_NO_THROW(form.FormDestroy());
  EXPECT_EQ(machine.removedFolders, Lines{kFolder});
}

}  // namespace
