// A release that starts and ends at once, before its first watch tick: what
// a build whose start-up crashes looks like to the program that started it.
// It carries the next release's version resource, so it is a release to sign.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 3; }
