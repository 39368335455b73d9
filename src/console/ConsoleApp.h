#pragma once
// The console program from start to end: the application with its identity, the error
// report, the main window, and the termination signals that close it the ordinary way.

#include <functional>

class TForm1;

// Runs the program; started, when given, is called once the main window is shown.
int RunConsole(int& argc, char** argv, const std::function<void(TForm1&)>& started = {});
