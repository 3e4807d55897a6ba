// DLLs from System32 only, for the programs that run in every user's session or as SYSTEM from
// the folder an installer chose.
#pragma once

// Limits the search of every later load (a LoadLibrary without a path, the delay-loaded DLLs of
// cmake/delay_load.cmake, and the DLLs those load) to System32. Each program calls it first in
// wWinMain: before it, only the KnownDLLs its import table names are loaded, and those never come
// from the program's folder. e2e/release_test.sh checks that it is the first call.
void LoadDllsFromSystemOnly();
