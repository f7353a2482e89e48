#include "tests/support/ScratchRegistry.h"

ScratchRegistry::ScratchRegistry(const std::string& storeFolder)
    : store_(std::make_unique<ScopedEnvironment>("SOLANE_REGISTRY_DIR", storeFolder)) {}

ScratchRegistry::~ScratchRegistry() = default;
