// Apart from the report's texts, so that a program without the engine (the Windows crash test
// program, until the transfer session is ported) can give its own locale.
#include "diagnostics/CrashReport.h"
#include "patch/PatchEngine.h"

int CrashReportLocale() {
  const PatchEngine* engine = PatchEngine::Existing();
  return engine ? engine->GetLocale() : 1;
}
