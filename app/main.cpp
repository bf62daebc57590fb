// The program entry. Start-up and the main loop belong to the application
// shell; until it exists the entry says so and names the model it was given.
#include <cstdio>

int main(int argc, char** argv) {
    std::printf("Kavrel Viewer %s: the viewer's windows are still being built.\n", "0.1.0");
    if (argc > 1) std::printf("Model requested: %s\n", argv[1]);
    return 0;
}
