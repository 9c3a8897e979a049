// upvrek-cli's output on Windows. The program writes UTF-8; a Windows console shows UTF-16 and
// a pipe or a file is read in the system's code page, 936 on a Chinese system.
#pragma once

namespace vrekcli {

// Makes std::cout and std::cerr write UTF-16 through WriteConsoleW when they are a console, and
// code page 936 (GBK) when they are redirected. Text is converted at every flush, on whole
// characters; a character GBK lacks becomes "?". Call once, first thing in main.
void UseWindowsConsole();

}  // namespace vrekcli
