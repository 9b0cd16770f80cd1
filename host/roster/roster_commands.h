// The "talvexhost roster ..." subcommands: each loads the roster library as
// the host does (the shared library by file, the exports by plain name),
// builds the call record, calls the export and prints what came back.
//
//   roster info                      the three roster options
//   roster hcpcs TYPE                the filled service code slots, one a line
//   roster diagnosis TYPE            the type "R" flag, then the filled slots
//   roster pcn --prefix P --date YYYY-MM-DD --serial N --suffix N
//   roster status CODE               the text of a status code
//   roster counter KIND              takes one control counter and prints it
//
// Options for all: --data DIR (data directory; default the registry's
// DataDirectory), --config DIR (where TALVEX32.INI is; default the
// registry's InstallDirectory, else the data directory), --library FILE (the
// roster library; default beside talvexhost), --registry FILE (the registry
// stand-in file on POSIX).
//
// argv[0] is "roster". Returns the process exit code: 0 done, 1 the library or
// its answer failed (counter -1, library not found), 2 bad usage. Output goes
// to stdout, complaints to stderr. Not thread-safe (the library is not).
#pragma once

[[nodiscard]] int RunRosterCommand(int argc, char** argv);
