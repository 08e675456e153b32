#pragma once

// The program's command line: Linux hands over argv, the program wants one string and the
// tail after the program name.

#include <string>

namespace vanthe {

// The command line a Windows shell would hand over: the program name, in double quotes when
// it holds a blank, then the arguments joined by single blanks.
std::string BuildCommandLine(int argc, const char* const* argv);

// The part after the program name and the blanks that follow it, as a view into the text.
const char* FindCommandTail(const char* commandLine);

// What a lone --help or --version asks for instead of the dialog.
enum class InfoRequest { None, Help, Version };
InfoRequest FindInfoRequest(int argc, const char* const* argv);
// The short usage --help prints.
std::string UsageText();

} // namespace vanthe
