#pragma once

// The limit of open files, raised at start from the usual 1,024 to what the system allows (up to
// 65,536): the remote server keeps its connections under half of what the limit leaves after a
// reserve for the program's own files, and a higher limit makes that reserve wide.
namespace FileLimit {

// Raises the soft limit towards the hard one; the soft limit now.
long raiseOpenFiles();
long openFiles();

} // namespace FileLimit
