// The launcher's own file version, read back by FileVersion when it checks itself for updates.
#include "patch/VersionNoteDefine.h"

SOLANE_DEFINE_VERSION_NOTE(SOLANE_VERSION_MAJOR, SOLANE_VERSION_MINOR, SOLANE_VERSION_PATCH,
                           SOLANE_VERSION_TWEAK);
