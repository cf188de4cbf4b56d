#include "cli/MainModule.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    return vok::Main(std::vector<std::string>(argv + 1, argv + argc));
}
