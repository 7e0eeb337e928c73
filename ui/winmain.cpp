// The graphical entry point; everything else lives in mp_ui so that the
// tests can drive it in-process.
#include "ui/ui.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    return app_main(instance, previous, command_line, show);
}
