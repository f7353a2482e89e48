// Preparing a transfer (its size and the room it needs) and reporting what failed.

#include <cstdio>

#include "download/TransferError.h"
#include "download/ZipArchive.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

// A box shows the first reasons; a broken release could otherwise fill the screen.
constexpr size_t kReasonsShown = 8;

}  // namespace

bool PatchEngine::PrepareDownload(const std::string& name, bool showDiskMessage, bool plainOnly) {
  if (IsCancelled()) return false;
  currentDownloadSize_ = 0;
  expectedFileSize_ = 0;
  const std::string zipName = ZipNameFor(name);
  int64_t zipSize = 0;
  if (zipMode_.load() && !plainOnly && !zipName.empty()) zipSize = RemoteFileSize(zipName);
  TransferFailure why;
  const int64_t plainSize = RemoteFileSize(name, &why);
  expectedFileSize_ = plainSize;
  int64_t extraRoom = 0;
  if (zipSize < 1) {
    currentDownloadSize_ = plainSize;
  } else {
    currentDownloadSize_ = zipSize;
    extraRoom = plainSize;  // room for the unpacked file beside its archive
  }
  const int64_t size = currentDownloadSize_.load();
  if (size > 0) return HasDiskSpace(TempDir(), size + extraRoom, showDiskMessage);
  // A server that could not be asked is reported now; a file the server does not have (or has
  // empty) is left to the caller, which knows whether that ends the update.
  if (why && why.kind != TransferFailure::Kind::HttpStatus) ReportError(why);
  return false;
}

void PatchEngine::ReportError() { ReportError(session_.GetFailure()); }

void PatchEngine::ReportError(const TransferFailure& failure) {
  if (!failure) return;
  // The time-out is told in the catalogue's words, with the server it happened with.
  const bool timeout = failure.kind == TransferFailure::Kind::Internet && failure.code == transfer_error::kTimeout;
  const std::string systemText =
      TransferFailureText(failure, timeout ? LoadCatalogueString(kMessageServerNotReplying) : std::string());

  char head[64];
  std::snprintf(head, sizeof(head), "\n\nErrorCode : %d", failure.code);
  std::string text = LoadCatalogueString(kMessageUpdateFailed) + head;
  if (!systemText.empty()) text += "\n" + systemText;
  // The status line keeps the reason too (a refused certificate, a dead server): the box is
  // gone once answered, and the cancel that follows only says that the update ends.
  std::string status = LoadCatalogueString(kMessageUpdateFailed) + " ErrorCode : " + std::to_string(failure.code);
  if (!systemText.empty()) status += " " + systemText;
  SetStatusText(status);
  platform::ShowMessageBox(text, platform::kBoxOk | platform::kBoxIconExclamation);
  SetCancel(true);
  if (LauncherWindow* window = Window()) window->RunExitProcedure();
}

void PatchEngine::ReportRecordedFailures() {
  const std::vector<std::string> reasons = RecordedFailures();
  if (reasons.empty()) return;
  std::string text = LoadCatalogueString(kMessageUpdateFailed) + "\n";
  for (size_t i = 0; i < reasons.size() && i < kReasonsShown; ++i) text += "\n" + reasons[i];
  if (reasons.size() > kReasonsShown) text += "\n(+" + std::to_string(reasons.size() - kReasonsShown) + ")";
  platform::ShowMessageBox(text, platform::kBoxOk | platform::kBoxIconExclamation);
  SetCancel(true);
  if (LauncherWindow* window = Window()) window->RunExitProcedure();
}
