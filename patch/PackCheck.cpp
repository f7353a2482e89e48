// The optional integrity check of one pack against the server copy's date, checksum and size,
// and its diagnostic report (the SolaneLauncher.CRC file or a message box).

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Settings.h"
#include "patch/PackDate.h"
#include "patch/PatchEngine.h"
#include "patch/TextChecksum.h"
#include "platform/FileTimes.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "platform/ProfileFile.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kAbsentName = "Test.SPF";
constexpr const char* kReportFile = "SolaneLauncher.CRC";
constexpr const char* kReportSection = "Resource";

struct PackComparison {
  std::string localPath;
  std::string fileName;
  std::string localDate;
  std::string serverDate;
  uint32_t localCrc = 0;
  uint32_t serverCrc = 0;
  int64_t localSize = 0;
  int64_t serverSize = 0;
};

// Servers write the checksum signed or unsigned; either way its low 32 bits are the checksum.
uint32_t ChecksumFromText(const std::string& text) {
  return static_cast<uint32_t>(std::strtoll(text.c_str(), nullptr, 10));
}

void WriteReport(const std::string& reportPath, const std::string& index, const PackComparison& values) {
  auto write = [&](const char* key, const std::string& value) {
    platform::WriteProfileString(reportPath, kReportSection, index + key, value);
  };
  write("_Local_File", values.localPath);
  write("_Ftp___File", values.fileName);
  if (!values.localDate.empty()) write("_Local_Date", values.localDate);
  if (!values.serverDate.empty()) write("_Ftp___Date", values.serverDate);
  write("_Local_Crc", std::to_string(values.localCrc));
  write("_Ftp___Crc", std::to_string(values.serverCrc));
  write("_Local_Size", std::to_string(values.localSize));
  write("_Ftp___Size", std::to_string(values.serverSize));
}

void ShowReport(const PackComparison& values) {
  char text[2048];
  std::snprintf(text, sizeof(text),
                "Local File : %s     \nLocal File Date : %s\nLocal File CRC ID : %d\nLocal File Size : %" PRId64
                "\n\nFTP File : %s\nFTP File Date : %s\nFTP File CRC ID : %d\nFTP File Size : %" PRId64 "\n",
                values.localPath.c_str(), values.localDate.c_str(), static_cast<int32_t>(values.localCrc),
                values.localSize, values.fileName.c_str(), values.serverDate.c_str(),
                static_cast<int32_t>(values.serverCrc), values.serverSize);
  platform::ShowMessageBox(text, platform::kBoxOk);
}

}  // namespace

int PatchEngine::CheckPackIntegrity(const std::string& section, const std::string& index) {
  const int mode = updateInfo_.ReadInt(section, index + "_Check", 0);
  if (mode == 0) return 0;
  PackComparison values;
  values.fileName = updateInfo_.ReadString(section, index + "_FileName", kAbsentName);
  if (values.fileName == kAbsentName) return 0;
  const std::optional<std::string> localPath = InstallPath(values.fileName);
  if (!localPath) return 0;
  values.localPath = *localPath;
  SetStatusText(values.fileName + " " + LoadCatalogueString(kMessageChecking));

  const bool checksDate = mode == 1 || mode == 3;
  const bool checksContent = mode == 2 || mode == 3;
  if (checksDate) {
    values.serverDate = updateInfo_.ReadString(section, index + "_Date", "0");
    if (auto when = platform::LatestFileTime(values.localPath))
      values.localDate = platform::FormatLocalTime(*when, "[%Y-%m-%d][%H:%M:%S]");
  }
  if (checksContent) {
    values.serverCrc = ChecksumFromText(updateInfo_.ReadString(section, index + "_CRC", "0"));
    values.localCrc = TextModeCrc32(values.localPath, [this] { return IsCancelled(); });
    values.localSize = FileSize(values.localPath);
    values.serverSize = RemoteFileSize(values.fileName);
  }

  bool outdated = true;
  if (checksDate) outdated = IsPackDateOutdated(values.localDate, values.serverDate);
  if (checksContent) {
    if (values.serverCrc != values.localCrc || values.serverSize != values.localSize)
      outdated = true;
    else if (mode == 2)
      outdated = false;
  }

  const std::string reportMode = ReadSetting(kSettingCrc);
  if (reportMode == "FILE")
    WriteReport(platform::JoinPath(LauncherDir(), kReportFile), index, values);
  else if (reportMode == "SHOW")
    ShowReport(values);
  return outdated ? 1 : 0;
}
