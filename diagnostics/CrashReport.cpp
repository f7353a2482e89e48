#include "diagnostics/CrashReport.h"

#include <cstdio>
#include <cstring>

#include "diagnostics/MessageText.h"
#include "platform/Path.h"
#include "window/MessageIds.h"

namespace {

constexpr size_t kMaxPathText = 259;
constexpr size_t kMaxMessageText = 1299;

std::string Cut(std::string text, size_t length) {
  if (text.size() > length) text.resize(length);
  return text;
}

}  // namespace

CrashReportNames MakeCrashReportNames(const std::string& nameBase, bool timestampedNames, const std::tm& t,
                                      const std::array<uint32_t, 4>& version, int copy) {
  char timeText[kMaxPathText + 1];
  std::snprintf(timeText, sizeof(timeText), " %04d-%02d-%02d %02d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  char reportPath[kMaxPathText + 1];
  std::snprintf(reportPath, sizeof(reportPath), "SolaneLauncher/%u.%u.%u.%u/%04d-%02d-%02d/%02d-%02d-%02d", version[0],
                version[1], version[2], version[3], t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                t.tm_sec);
  const std::string suffix = copy > 1 ? "-" + std::to_string(copy) : "";
  const std::string base = (timestampedNames ? Cut(nameBase, kMaxPathText) + timeText : "") + suffix;
  return {reportPath + suffix, base + ".ERR", base + ".DMP"};
}

std::string CrashMessage(const CrashMessageInputs& in) {
  auto text = [&](int id) { return DiagnosticText(in.languageId, id); };
  std::string message;
  switch (in.outcome) {
    case CrashOutcome::kHelperNotStarted: message = text(kMessageCrashNoHelper); break;
    case CrashOutcome::kProcessUnreadable: message = text(kMessageCrashCannotRead); break;
    case CrashOutcome::kDumpNotCreated:
      message = FillPlaceholders(text(kMessageCrashNoDumpFile), {in.names.dmpPath});
      break;
    case CrashOutcome::kDumpFailed:
      message = FillPlaceholders(text(kMessageCrashDumpFailed), {in.names.dmpPath, std::to_string(in.systemError)});
      break;
    case CrashOutcome::kDumpWritten:
      message = FillPlaceholders(text(kMessageCrashReport),
                                 {std::to_string(in.version[0]), std::to_string(in.version[1]),
                                  std::to_string(in.version[2]), std::to_string(in.version[3]), in.exceptionName,
                                  in.names.dmpPath, in.names.errPath});
      if (in.reporterPresent) {
        message += text(kMessageCrashOfferReporter);
      } else {
        for (int id = kMessageCrashInstructionsFirst; id <= kMessageCrashInstructionsLast; ++id) message += text(id);
      }
      break;
  }
  return Cut(message, kMaxMessageText);
}

std::string ReporterCommandLine(const CrashReportNames& names) {
  return "/SolaneError-VANTIK:" + names.reportPath + " /INFO:" + platform::FileNameOf(names.errPath) +
         " /DMP:" + platform::FileNameOf(names.dmpPath) + " /";
}
