// The operating system's side of qxhost, behind one small interface: platform_posix.cpp and
// platform_win32.cpp implement it. Paths are the host's wide strings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace qxhost::sys {

// The command line as wide strings: from the wide command line on Windows, so that names
// outside the ANSI code page survive; from the host's conversion of the bytes elsewhere.
std::vector<std::wstring> Arguments(int argc, char** argv);
// The names that argument index (0: the first after the program's name) stands for where the
// system leaves wildcards to programs (Windows): the files that match it, when it holds * or ?
// outside quotes and matches any. Empty otherwise, the argument meaning itself.
std::vector<std::wstring> WildcardMatches(std::size_t index);
// Makes the console show the UTF-8 that qxhost prints, where it would not.
void UseUtf8Console();
// Puts the null device on standard input, output or error where qxhost was started with it
// closed, so that no file qxhost opens takes its number and gets its messages. It is opened the
// wrong way round (input for writing, output and error for reading), so that using the closed
// stream still fails as it would have.
void FillClosedStandardStreams();

// On SIGINT, SIGTERM or SIGHUP (a console event on Windows) calls onStop, which may use only
// what a signal handler may, and ends the process with 128 + the signal's number, as a shell
// reports it. A signal that qxhost's parent set to be ignored (nohup, a background job) stays so.
void EndProcessOnStop(void (*onStop)());
// Writes text to standard error directly, as a signal handler may.
void WriteToStandardErrorNow(const char* text);

bool IsTerminal(std::FILE* stream);
// The width in columns of the terminal that stream shows on; 0 when the system cannot tell.
int TerminalWidth(std::FILE* stream);
// Images pass through the stream byte for byte (Windows would translate line ends).
void SetBinaryMode(std::FILE* stream);

std::filesystem::path NativePath(const std::wstring& path);
std::wstring WidePath(const std::filesystem::path& path);

// The plug-in's library. OpenLibrary returns null and the system's reason in error.
void* OpenLibrary(const std::wstring& path, std::string& error);
using AnyFunction = void (*)();
AnyFunction FindFunction(void* library, const char* name);
void CloseLibrary(void* library);
// The running executable's path; empty where the system cannot name it.
std::wstring ExecutablePath();
// The machine's physical memory in bytes; 0 where the system cannot tell.
std::uint64_t PhysicalMemory();

}  // namespace qxhost::sys
