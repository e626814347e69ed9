// hdsn-disks --output: a document written to a file so that a collector
// reading the file at any moment finds the old document or the new one.
#pragma once

#include <string>

namespace hdsn {

class OutputFileInterface;

// Writes the bytes to a new file beside `path` ("<path>.<process id>.tmp",
// or "<path>.<process id>-<n>.tmp" where that name is taken), makes them
// durable and renames the file over `path`. Returns true when `path` holds
// them; else false with `error` saying the step that failed, its file and
// the system's code ("create /srv/x.prom.42.tmp: 2"), and the new file
// removed (or, where removing it failed too, named in `error`).
bool WriteWholeFile(OutputFileInterface& files, const std::string& path, const std::string& bytes,
                    std::string& error);

}  // namespace hdsn
