// The login server list taken from the update information.

#include "patch/PatchEngine.h"

// The regions without a server list hand the client no address of their own choosing; the list
// and its random pick arrive with the login-server work.
void PatchEngine::RefreshLoginServers() {}
