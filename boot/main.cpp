// The program's entry: wWinMain in the product, main in the native build.
// Both hand UTF-8 arguments to qor_main.
#include "boot/start.hpp"

#ifdef _WIN32
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return qor::boot::qor_main();
}
#else
int main(int argc, char** argv) {
    return qor::boot::qor_main(argc, argv);
}
#endif
