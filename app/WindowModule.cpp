#include "app/WindowModule.h"

#include <cstdio>
#include <mutex>

#include "platform/LoadableModule.h"
#include "platform/TerminalMessageBox.h"

LoadedWindowModule LoadWindowModule(WindowModuleBytes bytes) {
  LoadedWindowModule loaded;
  const std::string path = platform::ModuleFileName(kWindowModuleName);
  const std::string fallback = " The launcher runs on the console instead.";
  const platform::ModuleSymbol entry =
      platform::LoadModuleFromBytes(bytes.data(), bytes.size(), path, kWindowModuleEntry);
  if (!entry.address) {
    loaded.error = "The window module cannot be loaded: " + entry.error + "." + fallback;
    return loaded;
  }
  const WindowModule* module = reinterpret_cast<WindowModuleEntry>(entry.address)();
  if (!module || module->interfaceVersion != kWindowModuleInterface ||
      std::string(module->launcherVersion) != SOLANE_VERSION_TEXT) {
    loaded.error = "The window module " + path + " belongs to another version of the launcher (" +
                   (module ? module->launcherVersion : "unknown") + ", this is " SOLANE_VERSION_TEXT ")." + fallback;
    return loaded;
  }
  loaded.module = module;
  return loaded;
}

namespace {

class DeferredWindowBoxes final : public platform::MessageBoxProvider {
 public:
  DeferredWindowBoxes(int& argc, char** argv, WindowModuleBytes bytes) : argc_(argc), argv_(argv), bytes_(bytes) {}

  int Show(const std::string& text, const std::string& caption, unsigned type) override {
    std::call_once(started_, [this] {
      const LoadedWindowModule loaded = LoadWindowModule(bytes_);
      if (!loaded.error.empty()) std::fprintf(stderr, "%s\n", loaded.error.c_str());
      if (loaded.module && loaded.module->startToolkit(argc_, argv_))
        boxes_ = loaded.module->makeMessageBoxes(nullptr);
      else
        boxes_ = platform::MakeTerminalMessageBox();
    });
    return boxes_->Show(text, caption, type);
  }

 private:
  int& argc_;
  char** argv_;
  WindowModuleBytes bytes_;
  std::once_flag started_;
  std::shared_ptr<platform::MessageBoxProvider> boxes_;
};

}  // namespace

std::shared_ptr<platform::MessageBoxProvider> MakeDeferredWindowBoxes(int& argc, char** argv, WindowModuleBytes bytes) {
  return std::make_shared<DeferredWindowBoxes>(argc, argv, bytes);
}
