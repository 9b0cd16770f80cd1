// "talvexhost roster generate ROSTER [--run-date YYYY-MM-DD] [--host-open]":
// runs claim generation as the host would, with a progress bar on stderr fed
// by the library's callback, and prints the status code, its text and the
// four out fields. --host-open first opens the claim tables and BSROSTER in
// the host's own engine context and passes the context and the BSROSTER
// handle, as the real host does. Takes the common roster options (--data,
// --config, --library, --registry).
//
// argv[0] is "roster", argv[1] "generate". Returns 0 when the run gave status
// 0, 1 for any other status or a library that cannot be loaded, 2 for bad
// usage. Not thread-safe (the library is not).
#pragma once

[[nodiscard]] int RunRosterGenerateCommand(int argc, char** argv);
