// Preparing a transfer (its size and the room it needs) and reporting a failed one.

#include <cstdio>

#include "download/TransferError.h"
#include "download/ZipArchive.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

bool PatchEngine::PrepareDownload(const std::string& name, bool showDiskMessage, bool plainOnly) {
  if (IsCancelled()) return false;
  currentDownloadSize_ = 0;
  int64_t zipSize = 0;
  if (zipMode_.load() && !plainOnly) zipSize = RemoteFileSize(ZipNameFor(name));
  int64_t plainSize = RemoteFileSize(name);
  int64_t extraRoom = 0;
  if (zipSize < 1) {
    currentDownloadSize_ = plainSize;
  } else {
    currentDownloadSize_ = zipSize;
    extraRoom = plainSize;  // room for the unpacked file beside its archive
  }
  const int64_t size = currentDownloadSize_.load();
  if (size > 0) return HasDiskSpace(TempDir(), size + extraRoom, showDiskMessage);
  ReportError();
  return false;
}

void PatchEngine::ReportError() {
  int code = session_.GetErrorCode();
  if (code <= 0) code = LastSystemError();
  if (code == 0) return;
  std::string systemText = TransferErrorText(code);
  if (systemText.empty() && code == transfer_error::kTimeout) systemText = LoadCatalogueString(kMessageServerNotReplying);

  char head[64];
  std::snprintf(head, sizeof(head), "\n\nErrorCode : %d", code);
  std::string text = LoadCatalogueString(kMessageUpdateFailed) + head;
  if (!systemText.empty()) text += "\n" + systemText;
  platform::ShowMessageBox(text, platform::kBoxOk | platform::kBoxIconExclamation);
  SetCancel(true);
  if (LauncherWindow* window = Window()) window->RunExitProcedure();
}
