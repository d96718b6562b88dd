#pragma once
// Removal that a signal handler may do: plain system calls on a path prepared beforehand, no
// memory allocated, no locks taken. Shared by the program and its converter host, so it uses
// nothing but the C library.

namespace zandrel::platform {

// Removes the entries of a folder that are not folders themselves, then the folder.
void removeFolderAndFiles(const char *folder) noexcept;

} // namespace zandrel::platform
