// What loading the plug-in needs from the platform: a library opened by its path and its exports
// found by name. plugin_library.cpp holds what the host asks of the library; the platform's file
// (plugin_library_posix.cpp with dlopen, plugin_library_win.cpp with LoadLibrary) how it is asked.
#pragma once

#include <string>

namespace sarvik_host {

// A loaded library; null for none.
using LibraryHandle = void*;
// The address of an export, in the one function type that every other converts from and to.
using ExportAddress = void (*)();

// The plug-in's file name on this platform.
extern const char kPluginFileName[];

// Loads the library file at `path` (which exists and is a file); a name without a directory
// means the file in the working directory, never one found on a search path. Null with `*reason`
// (the platform's own words) when it cannot be loaded.
LibraryHandle OpenLibrary(const std::string& path, std::string* reason);

// The export `name` of `library`, or null when it has none.
ExportAddress FindExport(LibraryHandle library, const char* name);

// Unloads a library that OpenLibrary loaded.
void CloseLibrary(LibraryHandle library);

}  // namespace sarvik_host
