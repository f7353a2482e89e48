#include "diagnostics/DirectXCheck.h"

// The start-up step apart from the check itself, so that the check links without the engine.
#include "patch/PatchEngine.h"
#include "platform/Path.h"
#include "window/Catalogue.h"

void CheckDirectX(PatchEngine& engine) {
  const std::string client = platform::ResolvePath(platform::JoinPath(engine.LauncherDir(), "SolaneClient.exe"));
  const DirectXVerdict verdict = CheckDirectXFor(client, CatalogueLanguageForLocale(engine.GetLocale()));
  engine.SetDirectXResult(verdict.ok, verdict.warning);
}
