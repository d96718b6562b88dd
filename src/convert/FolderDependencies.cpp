#include "FolderDependencies.h"

#include "platform/FileDescriptor.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace zandrel::converterhost {

namespace {

// This machine's own kind of ELF file.
using ElfHeader = ElfW(Ehdr);
using ElfSegment = ElfW(Phdr);
using ElfDynamic = ElfW(Dyn);
using ElfAddress = ElfW(Addr);

// A file mapped for reading, unmapped when it goes.
class MappedFile {
public:
    explicit MappedFile(const std::string &path)
    {
        // The mapping stays when the descriptor is closed.
        const platform::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        struct stat status {};
        if (!file.isOpen() || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
            status.st_size <= 0)
            return;
        void *data = ::mmap(nullptr, std::size_t(status.st_size), PROT_READ, MAP_PRIVATE, file.get(), 0);
        if (data != MAP_FAILED) {
            m_data = static_cast<const unsigned char *>(data);
            m_size = std::size_t(status.st_size);
        }
    }
    ~MappedFile()
    {
        if (m_data)
            ::munmap(const_cast<unsigned char *>(m_data), m_size);
    }
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    // A pointer to count objects of T at the offset, or null when they do not lie in the file.
    template <typename T> const T *at(std::uint64_t offset, std::uint64_t count = 1) const
    {
        if (!m_data || offset > m_size || count > (m_size - offset) / sizeof(T) || offset % alignof(T) != 0)
            return nullptr;
        return reinterpret_cast<const T *>(m_data + offset);
    }
    std::size_t size() const { return m_size; }
    const char *text(std::uint64_t offset) const
    {
        if (!m_data || offset >= m_size || !std::memchr(m_data + offset, 0, m_size - offset))
            return nullptr;
        return reinterpret_cast<const char *>(m_data + offset);
    }

private:
    const unsigned char *m_data = nullptr;
    std::size_t m_size = 0;
};

bool isNativeSharedLibrary(const ElfHeader &header)
{
    return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
           header.e_ident[EI_CLASS] == (__ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32) &&
           header.e_ident[EI_DATA] ==
               (std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB) &&
           header.e_type == ET_DYN && header.e_phentsize == sizeof(ElfSegment);
}

// The file offset of an address in the loaded image, through the segment that holds it.
bool fileOffsetOf(const ElfSegment *segments, std::size_t count, ElfAddress address, std::uint64_t &offset)
{
    for (std::size_t i = 0; i < count; ++i) {
        const ElfSegment &segment = segments[i];
        if (segment.p_type == PT_LOAD && address >= segment.p_vaddr &&
            address - segment.p_vaddr < segment.p_filesz) {
            offset = segment.p_offset + (address - segment.p_vaddr);
            return true;
        }
    }
    return false;
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

bool isRegularFile(const std::string &path)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// True when the process has a library of that name loaded; loads nothing.
bool loadedAlready(const std::string &name)
{
    void *handle = ::dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
        return false;
    ::dlclose(handle);
    return true;
}

} // namespace

std::vector<std::string> neededLibraries(const std::string &libraryFile)
{
    const MappedFile file(libraryFile);
    const auto *header = file.at<ElfHeader>(0);
    if (!header || !isNativeSharedLibrary(*header))
        return {};
    const auto *segments = file.at<ElfSegment>(header->e_phoff, header->e_phnum);
    if (!segments)
        return {};
    const ElfSegment *dynamicSegment = nullptr;
    for (std::size_t i = 0; i < header->e_phnum; ++i) {
        if (segments[i].p_type == PT_DYNAMIC)
            dynamicSegment = &segments[i];
    }
    if (!dynamicSegment)
        return {};
    const auto *entries =
        file.at<ElfDynamic>(dynamicSegment->p_offset, dynamicSegment->p_filesz / sizeof(ElfDynamic));
    if (!entries)
        return {};

    const std::size_t entryCount = dynamicSegment->p_filesz / sizeof(ElfDynamic);
    ElfAddress stringTable = 0;
    std::vector<std::uint64_t> nameOffsets;
    for (std::size_t i = 0; i < entryCount && entries[i].d_tag != DT_NULL; ++i) {
        if (entries[i].d_tag == DT_STRTAB)
            stringTable = entries[i].d_un.d_ptr;
        else if (entries[i].d_tag == DT_NEEDED)
            nameOffsets.push_back(entries[i].d_un.d_val);
    }
    std::uint64_t tableOffset = 0;
    if (nameOffsets.empty() || !fileOffsetOf(segments, header->e_phnum, stringTable, tableOffset))
        return {};
    std::vector<std::string> names;
    for (const std::uint64_t nameOffset : nameOffsets) {
        if (tableOffset >= file.size() || nameOffset >= file.size() - tableOffset)
            continue;
        if (const char *name = file.text(tableOffset + nameOffset))
            names.emplace_back(name);
    }
    return names;
}

FolderDependencies::~FolderDependencies()
{
    for (auto handle = m_handles.rbegin(); handle != m_handles.rend(); ++handle)
        ::dlclose(*handle);
}

bool FolderDependencies::load(const std::string &libraryFile)
{
    return loadNeedsOf(folderOf(libraryFile), libraryFile, 0);
}

bool FolderDependencies::loadNeedsOf(const std::string &folder, const std::string &file, int depth)
{
    // Deeper than any real chain of libraries: a loop that the seen names did not catch.
    if (depth > 32)
        return true;
    for (const std::string &name : neededLibraries(file)) {
        if (name.find('/') != std::string::npos ||
            std::find(m_seen.begin(), m_seen.end(), name) != m_seen.end())
            continue;
        m_seen.push_back(name);
        const std::string candidate = folder + '/' + name;
        if (!isRegularFile(candidate) || loadedAlready(name))
            continue;
        if (!loadNeedsOf(folder, candidate, depth + 1))
            return false;
        void *handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char *error = ::dlerror();
            m_error = error ? error : candidate + ": cannot be loaded";
            return false;
        }
        m_handles.push_back(handle);
    }
    return true;
}

} // namespace zandrel::converterhost
