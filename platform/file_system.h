// Files and folders: existence tests, folder creation and enumeration, copy,
// move, delete, the short (8.3) form of a path, and whole-file text in CR LF
// lines.
//
// Every path is a host text (native_path.h): "\" or "/" separators, matched
// without regard to case. Results are booleans (or empty results); no function
// throws or shows anything. Copy, move, delete, file creation and folder
// creation pass the fault seam (file_seam.h), so a test can make the Nth one
// fail; each call counts once, as one operation of its kind (a copy is one
// copy, not creates and writes; writeWholeFile is one create and one write). Safe from any thread, but operations on the same files from several
// threads are not ordered.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvex::platform {

// True when something (file or folder) exists at the path.
[[nodiscard]] bool pathExists(std::string_view path);
// True when the path exists and is a folder.
bool isDirectory(std::string_view path);
// True when the path exists and is not a folder.
bool isFile(std::string_view path);

// Makes one folder whose parent exists; true when it was made (false when it
// already exists or cannot be made).
[[nodiscard]] bool createDirectory(std::string_view path);
// Makes a folder with all missing parents. A trailing separator is dropped;
// a text of fewer than 3 characters, an existing folder, or a root (whose
// parent part is itself) is success without work; otherwise the parent path
// is made first and then the folder, and the result is true only when both
// succeed.
[[nodiscard]] bool createDirectoryPath(std::string_view path);
// Removes an empty folder.
[[nodiscard]] bool removeDirectory(std::string_view path);

// Copies a file, replacing the target when it exists. The target is written
// under a temporary name beside it and renamed into place, so a failed copy
// never leaves a half-written target (an existing target stays as it was).
[[nodiscard]] bool copyFile(std::string_view from, std::string_view to);
// Moves (renames) a file or folder. Fails when the target exists, as the
// Windows call does; a file moved across file systems is copied and removed.
[[nodiscard]] bool moveFile(std::string_view from, std::string_view to);
// Deletes a file (not a folder). False when it does not exist.
[[nodiscard]] bool deleteFile(std::string_view path);

// Why the last copyFile, moveFile or deleteFile of the process failed: the
// operation, its files and the system's own words ("copy A to B: No space
// left on device", "... Access is denied."), or "injected fault"; "" after
// one that succeeded. For logs, never for logic.
std::string lastFileError();
// Whether that failure was a full volume (or a quota): no new space.
[[nodiscard]] bool lastFileErrorNoSpace();

// Gives an existing file a second name on the same volume (a hard link),
// writing no data, so that it works on a full volume; the file then stays
// under both names until one is deleted. Fails when `name` exists, across
// volumes, and where the file system keeps no links (FAT).
[[nodiscard]] bool linkFile(std::string_view existing, std::string_view name);

// The name of this workstation (host name), "" when the system gives none.
std::string workstationName();

// DOS wildcard match of a name: "*" any run, "?" one character, without
// regard to ASCII case; "*.*" matches every name, with or without a dot.
[[nodiscard]] bool wildcardMatch(std::string_view pattern, std::string_view name);

// Names (not paths) of the entries of a folder that match the pattern, "."
// and ".." left out, in the order the file system returns them. Folders only,
// or everything but folders. An unreadable or missing folder gives nothing.
std::vector<std::string> listDirectories(std::string_view folder,
                                         std::string_view pattern = "*.*");
std::vector<std::string> listFiles(std::string_view folder,
                                   std::string_view pattern = "*.*");

// The short (8.3) form of an existing path (Windows); elsewhere, and when
// the system has no short form, the path itself.
std::string shortPath(std::string_view path);

// Reads a text file as lines; CR LF, LF and a lone CR all end a line, and a
// final line without an end is kept. False when the file cannot be read.
[[nodiscard]] bool readTextLines(std::string_view path, std::vector<std::string>* lines);
// Writes the lines, each ended by CR LF, replacing the file (through a
// temporary file and a rename, so a failure leaves the old file intact).
[[nodiscard]] bool writeTextLines(std::string_view path, const std::vector<std::string>& lines);

// Whole-file bytes. readWholeFile gives false when the file cannot be read.
// With synced, the new bytes reach the disk before the rename and the rename
// itself is synced (syncDirectory), so after a power cut the file holds the
// old bytes or the new ones, never a mix.
[[nodiscard]] bool readWholeFile(std::string_view path, std::string* content);
[[nodiscard]] bool writeWholeFile(std::string_view path, std::string_view content, bool synced = false);

// Makes what was written to a file reach the disk (fsync; FlushFileBuffers on
// Windows). False when the file cannot be opened or the system refuses.
[[nodiscard]] bool syncFile(std::string_view path);
// Makes the entries of a folder (files created, renamed or deleted in it)
// reach the disk. On Windows the folder's entries are written through by the
// file system and this is a no-op that answers true.
[[nodiscard]] bool syncDirectory(std::string_view path);

}  // namespace talvex::platform
