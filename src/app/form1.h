// The main window's state and handlers, free of any platform call: the window reaches its
// controls through the views of controls.h and the machine through SystemServices.
#pragma once

#include <string>
#include <string_view>

#include "app/system_services.h"
#include "core/controls.h"

// The work folder path as last recorded: set by FormCreate and by every model choice, read to
// build the extraction targets and to remove the folder at the end.
extern std::wstring WorkFolder;

// The donation page of the recipient named at build time.
std::wstring DonationAddress();

struct Form1Controls {
  LineSink& MemoLog;
  DropDownList& ComboDevice;
  DropDownList& ComboBoxPort;
  Button& ButtonFlash;
  ProgressBar& ProgressBar1;
  Panel& PanelDonate;
};

class TForm1 {
 public:
  TForm1(const Form1Controls& controls, SystemServices& services, std::wstring caption);

  // Event handlers, run by the window for the user's actions only.
  void FormCreate();
  void FormDestroy();
  void ComboDeviceChange();
  void ComboBoxPortDropDown();
  void ComboBoxPortChange();
  void ButtonFlashClick();
  void PanelDonateClick();

  void ListSerialPorts(ItemList& Ports);
  void CheckDevice();
  void FlashDevice();

  const std::wstring& Caption() const { return caption_; }

 private:
  int ExecuteAndCapture(const std::wstring& CommandLine, LineSink& Lines);
  void FilterOutputLine(std::wstring_view line, LineSink& Lines);
  void ParseProgress(std::wstring_view Line);
  // Flash is available exactly when a model and a port are chosen.
  void ApplyFlashReadiness();

  LineSink& MemoLog;
  DropDownList& ComboDevice;
  DropDownList& ComboBoxPort;
  Button& ButtonFlash;
  ProgressBar& ProgressBar1;
  Panel& PanelDonate;
  SystemServices& services_;
  std::wstring caption_;
};
