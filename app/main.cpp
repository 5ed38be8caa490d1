// tervane: the desktop program. One application object for the run.
#include "app/tervane_app.h"

namespace {
CtervaneApp theApp;
}

int main(int argc, char** argv) { return theApp.run(argc, argv); }
