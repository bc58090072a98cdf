#pragma once

#include <functional>

namespace stubforge::ui {
class StubforgeApp;
}

namespace stubforge::host {

// What the program does once the window is up: nothing in the product;
// the window tests drive the window from here.
using ProgramShown = std::function<void(ui::StubforgeApp&)>;

// The whole program: "--version", or the kit started before the window,
// the window shown and the event loop run until quit. Answers the exit
// status.
int runProgram(int argc, char** argv, const ProgramShown& shown = {});

}  // namespace stubforge::host
