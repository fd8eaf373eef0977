// The extractor program: what every package runs. For now it carries its
// version information and ends at once; the package reader and the
// unpacking run come on top of it.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
