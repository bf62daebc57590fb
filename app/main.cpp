// The program entry: start-up, the main loop and the teardown live in the
// application shell.
#include "shell/startup.h"

int main(int argc, char** argv) {
    return kavrel_main(argc, argv);
}
