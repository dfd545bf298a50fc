// Files and folders: the program's folders, existence and attribute tests,
// folder creation and removal, listings and text-file writing.
//
// Paths are 16-bit text, converted to the locale's narrow encoding for the
// system calls. Folders returned here never end in a separator.
#pragma once

#include <cstdio>
#include <list>
#include <string>

#include "UtilcoreApi.h"

// Folder of the running program (from /proc/self/exe), without a trailing
// separator. Computed on every call.
UTILCORE_API std::u16string GetBaseDir();
// The path separator, "/".
UTILCORE_API std::u16string GetFileSeparator();
// Base folder + separator + "Projects" / "LumoLog"; neither is created.
UTILCORE_API std::u16string GetDataDir();
UTILCORE_API std::u16string GetLogDir();

// Nonzero when a file or folder exists at `path`.
UTILCORE_API int FileExists(const std::u16string& path);
// 1 when the path exists and its mode grants nobody write permission.
UTILCORE_API int IsFileReadOnly(const std::u16string& path);
// Creates the last component only; 1 when it is (or already was) a folder.
UTILCORE_API int MakeDir(const std::u16string& path);
// Deletes a file. Nonzero on success; a missing path counts as removed.
// Refuses folders and files without write permission.
UTILCORE_API int RemoveFile(const std::u16string& path);
// Deletes a folder with everything below it. Nonzero on success; stops at the
// first entry it cannot delete (e.g. a read-only file) and returns 0.
UTILCORE_API int DelDir(const std::u16string& path);

// Appends the tree below `folder` depth first: full paths of files, bare names
// of folders (each followed by its own contents). true when `out` is not empty.
UTILCORE_API bool EnumAllFiles(const std::u16string& folder, std::list<std::u16string>& out);
// Appends the bare names of the "*.nelq" files directly in `folder`. false
// when nothing there matches "*.nelq", else true when `out` is not empty.
UTILCORE_API bool EnumFiles(const std::u16string& folder, std::list<std::u16string>& out);

// Appends `text` as narrow text, each line feed written as CR LF; no line end
// is added. 1 on success.
UTILCORE_API int AppendFile(const std::u16string& path, const std::u16string& text);
// Stream helpers for a file the caller opened for writing; WriteFile writes
// like AppendFile. Null streams are ignored.
UTILCORE_API void WriteFile(FILE* stream, const std::u16string& text);
UTILCORE_API void FlushFile(FILE* stream);
UTILCORE_API void CloseFile(FILE* stream);

// Part of the export set without behaviour: returns 0, `size` untouched.
UTILCORE_API int GetFileSize(const std::u16string& path, int& size);
// Part of the export set without behaviour: does nothing.
UTILCORE_API void DelLUMOLogs(const std::u16string& folder, int days);
