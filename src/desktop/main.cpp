#include "desktop/DesktopMain.h"

int main(int argc, char** argv) {
    return vok::DesktopMain(argc, argv);
}
