// A module for the test of loading a module from bytes.
extern "C" __declspec(dllexport) int SolaneTestModuleAnswer() { return 42; }
