#include "app/form1.h"

#include "flashing/command_lines.h"
#include "payloads/device_models.h"
#include "runner/output_filter.h"

#include <vector>

#ifndef VTF_DONATE_BUTTON_ID
#error "VTF_DONATE_BUTTON_ID names the recipient's donation button"
#endif

std::wstring WorkFolder;

namespace {

constexpr std::wstring_view kPortPrompt = L"Select COM port";

constexpr PanelLook kDonatePanelLook{0xFFCC00, 0x003087, true, true, true};

}  // namespace

std::wstring DonationAddress() {
  return L"https://www.paypal.com/donate/?hosted_button_id="
         L"" VTF_DONATE_BUTTON_ID;
}

TForm1::TForm1(const Form1Controls& controls, SystemServices& services, std::wstring caption)
    : MemoLog(controls.MemoLog),
      ComboDevice(controls.ComboDevice),
      ComboBoxPort(controls.ComboBoxPort),
      ButtonFlash(controls.ButtonFlash),
      ProgressBar1(controls.ProgressBar1),
      PanelDonate(controls.PanelDonate),
      services_(services),
      caption_(std::move(caption)) {}

void TForm1::FormCreate() {
  WorkFolder = services_.GetWorkFolder();
  MemoLog.Add(L"Select a device to begin...");

  ComboBoxPort.Items().Clear();
  ComboBoxPort.Items().Add(kPortPrompt);
  ComboBoxPort.SetItemIndex(0);
  ComboBoxPort.SetEnabled(false);

  ComboDevice.Items().Clear();
  for (const std::wstring& item : DeviceListItems(caption_)) {
    ComboDevice.Items().Add(item);
  }
  ComboDevice.SetItemIndex(0);

  ButtonFlash.SetEnabled(false);
  PanelDonate.SetLook(kDonatePanelLook);
}

void TForm1::FormDestroy() {
  try {
    services_.RemoveWorkFolder(WorkFolder);
  } catch (...) {
    // Closing must go on whatever the removal met.
  }
}

void TForm1::ComboDeviceChange() {
  if (ComboDevice.ItemIndex() != 0) {
    MemoLog.Add(L"Preparing files for " + ComboDevice.Text() + L"...");
  }
  WorkFolder = services_.GetWorkFolder();

  const int index = ComboDevice.ItemIndex();
  if (index == 0) {
    ButtonFlash.SetEnabled(false);
    ComboBoxPort.SetItemIndex(0);
    ComboBoxPort.SetEnabled(false);
    MemoLog.Add(L"Please select a device model.");
    return;
  }
  const DeviceModel* model = DeviceModelAt(index);
  if (model == nullptr) {
    return;  // typed text that names no model
  }

  // Every file is attempted, so that each one that fails is named.
  std::vector<std::wstring_view> failed;
  for (const PayloadFile& file : model->files) {
    const std::wstring target = WorkFolder + std::wstring(file.fileName);
    if (!services_.ExtractResourceToFile(file.payloadName, target)) {
      // Neither a partial copy nor an earlier model's file may be flashed.
      services_.RemoveFile(target);
      failed.push_back(file.fileName);
    }
  }
  if (!failed.empty()) {
    for (std::wstring_view fileName : failed) {
      MemoLog.Add(L"Could not prepare " + std::wstring(fileName) + L" \u274C");
    }
    ComboBoxPort.SetEnabled(false);
    ButtonFlash.SetEnabled(false);
    return;
  }

  MemoLog.Add(L"Files prepared for flashing.");
  if (model->asksForPortWhenPrepared) {
    MemoLog.Add(L"Select a COM port.");
  }
  ComboBoxPort.SetEnabled(true);
  ApplyFlashReadiness();
}

void TForm1::ListSerialPorts(ItemList& Ports) {
  services_.ListSerialPorts(Ports);
}

void TForm1::ComboBoxPortDropDown() {
  ComboBoxPort.Items().Clear();
  ListSerialPorts(ComboBoxPort.Items());
  ComboBoxPort.Items().Insert(0, kPortPrompt);
  ComboBoxPort.SetItemIndex(0);
}

void TForm1::ComboBoxPortChange() {
  if (ComboBoxPort.ItemIndex() > 0) {
    CheckDevice();
    return;
  }
  ButtonFlash.SetEnabled(false);
  MemoLog.Add(L"Select a COM port.");
}

void TForm1::CheckDevice() {
  const std::wstring port = ComboBoxPort.Text();
  MemoLog.Add(L"Verifying Stick on " + port + L"...");
  const std::wstring folder = services_.ToolFolder(services_.GetWorkFolder());

  if (ExecuteAndCapture(ProbeCommandLine(folder, port), MemoLog) == 0) {
    MemoLog.Add(L"Stick detected \u2714");
    MemoLog.Add(L"Ready to flash...");
    ApplyFlashReadiness();
    return;
  }

  MemoLog.Add(L"Stick not detected \u274C");
  ComboBoxPort.SetItemIndex(0);
  ButtonFlash.SetEnabled(false);
  const DeviceModel* model = DeviceModelAt(ComboDevice.ItemIndex());
  if (model != nullptr && model->showsPowerButtonHints) {
    MemoLog.Add(
        L"\u26A0 IMPORTANT: your M5Stick S3 is not detected, try holding the side Power button "
        L"for 2 seconds");
    MemoLog.Add(L"\u27A1 Wait for the green LED to start blinking");
    MemoLog.Add(L"\u27A1 Then re-select the COM port.");
  }
}

void TForm1::ButtonFlashClick() {
  FlashDevice();
}

void TForm1::FlashDevice() {
  ProgressBar1.SetPosition(0);
  MemoLog.Add(L"Flashing\u2026");
  const std::wstring folder = services_.ToolFolder(services_.GetWorkFolder());

  const DeviceModel* model = DeviceModelAt(ComboDevice.ItemIndex());
  if (model == nullptr) {
    MemoLog.Add(L"No device selected.");
    return;
  }
  const int result =
      ExecuteAndCapture(FlashCommandLine(*model, folder, ComboBoxPort.Text()), MemoLog);
  if (result != 0) {
    MemoLog.Add(L"Flash error \u274C Code : " + std::to_wstring(result));
    return;
  }

  MemoLog.Add(L"Flash successfull... Enjoy ! \u2714");
  MemoLog.Add(L" ");
  MemoLog.Add(L"\u27A1 if your device is not restarting, turn it off and on again.");
  ComboBoxPort.SetItemIndex(0);
  ComboBoxPort.SetEnabled(false);
  ComboDevice.SetItemIndex(0);
  ButtonFlash.SetEnabled(false);
}

void TForm1::PanelDonateClick() {
  services_.OpenAddress(DonationAddress());
}

int TForm1::ExecuteAndCapture(const std::wstring& CommandLine, LineSink& Lines) {
  return services_.RunHidden(CommandLine,
                             [&](std::wstring_view line) { FilterOutputLine(line, Lines); });
}

void TForm1::FilterOutputLine(std::wstring_view line, LineSink& Lines) {
  const FilteredLine filtered = FilterLine(line);
  switch (filtered.kind) {
    case FilteredLine::Kind::Detected:
      MemoLog.Add(filtered.text);  // the log itself, whatever list the caller passed
      return;
    case FilteredLine::Kind::Noise:
      return;
    case FilteredLine::Kind::Shown:
      Lines.Add(line);
      ParseProgress(line);
      return;
    case FilteredLine::Kind::Empty:
      ParseProgress(line);
      return;
  }
}

void TForm1::ParseProgress(std::wstring_view Line) {
  if (const std::optional<int> position = ProgressFrom(Line)) {
    ProgressBar1.SetPosition(*position);
  }
}

void TForm1::ApplyFlashReadiness() {
  ButtonFlash.SetEnabled(ComboDevice.ItemIndex() > 0 && ComboBoxPort.ItemIndex() > 0);
}
