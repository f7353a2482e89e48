// Kept apart from Catalogue.cpp so that code which names its language never links the engine.
#include "patch/PatchEngine.h"
#include "window/Catalogue.h"

std::string LoadCatalogueString(int id) {
  return LoadCatalogueStringIn(CatalogueLanguageForLocale(PatchEngine::Instance().GetLocale()), id);
}
