#pragma once
// In the converter host: a converter library's dependencies served from the library's own folder,
// for that library alone, as the converters' original platform loads them (a library loaded with
// an altered search path finds the libraries it needs in its folder first, and a library of the
// same name that the process has loaded already is used as it is). The host's own libraries and
// its environment stay as they are.
//
// How: before the library itself is opened, every library that it names as needed (DT_NEEDED in
// its dynamic section) and that lies in its folder is opened by its full path, its own needs
// first. The dynamic linker then finds them, by their names, among the loaded libraries when the
// converter asks for them. A name that the process has loaded already (the C and C++ run-times of
// the host, for one) is left alone: a second copy of a run-time in one process does not work.

#include <string>
#include <vector>

namespace zandrel::converterhost {

// The names a library file needs (DT_NEEDED), in the order the file gives them; empty when the
// file is not a shared library of this machine's kind.
std::vector<std::string> neededLibraries(const std::string &libraryFile);

class FolderDependencies {
public:
    FolderDependencies() = default;
    ~FolderDependencies();
    FolderDependencies(const FolderDependencies &) = delete;
    FolderDependencies &operator=(const FolderDependencies &) = delete;

    // Opens the dependencies of the library that lie in its folder. False when one of them is
    // there but does not load; error() says why.
    bool load(const std::string &libraryFile);
    const std::string &error() const { return m_error; }

private:
    bool loadNeedsOf(const std::string &folder, const std::string &file, int depth);

    std::vector<void *> m_handles; // in the order opened; closed in reverse
    std::vector<std::string> m_seen;
    std::string m_error;
};

} // namespace zandrel::converterhost
