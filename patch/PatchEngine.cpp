#include "patch/PatchEngine.h"

#include "platform/Clock.h"

std::atomic<PatchEngine*> PatchEngine::instance_{nullptr};

PatchEngine& PatchEngine::Instance() {
  static std::mutex creation;
  PatchEngine* engine = instance_.load();
  if (engine) return *engine;
  std::lock_guard<std::mutex> guard(creation);
  engine = instance_.load();
  if (!engine) {
    engine = new PatchEngine();
    instance_ = engine;
  }
  return *engine;
}

void PatchEngine::Destroy() { delete instance_.exchange(nullptr); }

// The sleeps of the engine's loops are short only with a fine timer; the engine holds it for
// its whole life.
PatchEngine::PatchEngine() { platform::BeginTimerResolution(); }

PatchEngine::~PatchEngine() { platform::EndTimerResolution(); }
