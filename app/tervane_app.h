#pragma once

#include <string>

// The application object: reads the command line, builds the launcher (and
// with it both dialogs) and runs it; closing the launcher ends the program.
class CtervaneApp {
public:
    struct Options {
        bool factory_test = false;   // open the test bench directly
        std::string screenshot_dir;  // render the dialogs there and quit
        int settle_ms = 3000;        // how long the screenshots' dialogs search first
        bool trace = false;          // trace lines and discovery's XML on the standard streams
    };

    int run(int argc, char** argv);

private:
    int InitInstance(const Options& options);
};
