#pragma once
// The stand-in converters' binary Job format (converters/README.md describes it byte by byte):
// a header with the product and the job's version, then tagged records. The document records
// carry a Dexmor document node by node, so that the converter gives the document back.

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zjob {

inline constexpr char magic[4] = {'Z', 'J', 'O', 'B'};
inline constexpr std::uint16_t formatRevision = 1;
inline constexpr std::size_t headerSize = 12;
// A record larger than this is taken for damage rather than read into memory.
inline constexpr std::uint32_t maxPayloadSize = 64u * 1024 * 1024;

enum class Product : std::uint16_t { Ostrelle = 0, Sarnetto = 1, Bramwick = 2 };

enum class RecordType : std::uint8_t {
    // Directives for the converter; they come right after the header.
    Inspect = 0x01,
    Translate = 0x02,
    GridFile = 0x03,
    Trace = 0x04,
    // The document, node by node.
    Declaration = 0x10,
    ElementStart = 0x11,
    ElementEnd = 0x12,
    Text = 0x13,
    CData = 0x14,
    Comment = 0x15,
    ProcessingInstruction = 0x16,
    // Marks a complete file: a file without it was cut short.
    End = 0x7F,
};

inline bool isDirective(RecordType type)
{
    return type == RecordType::Inspect || type == RecordType::Translate || type == RecordType::GridFile ||
           type == RecordType::Trace;
}

// How the converter answers an inspection.
enum class InspectBehaviour : std::uint8_t {
    Accept = 0,    // accept a file of the library's own product and report the header's version
    AcceptAny = 1, // the same for a file of any product
    Refuse = 2,    // answer 0 and leave the version as it is
    Answer = 3,    // answer the given result and write the given version
    Raise = 4,     // raise the given error
    Crash = 5,     // fault (write through a null pointer)
    Throw = 6,     // throw a C++ exception with the given text out of the export
    Hang = 7,      // open the FIFO the text names for reading and never return
};

// How the converter runs a conversion.
enum class TranslateBehaviour : std::uint8_t {
    Convert = 0,
    Fail = 1,  // answer 0 without writing
    Claim = 2, // answer success without writing
    Raise = 3, // raise the given error
    Crash = 4, // fault (write through a null pointer)
    Exit = 5,  // end the process with exit status 3 in the middle of the call
    Throw = 6, // throw a C++ exception with the given text out of the export
    // Open the FIFO named by the text for reading, so that a test knows the call is under way,
    // then never return.
    Hang = 7,
    // Convert, leaving behind a forked process that keeps the converter's descriptors and ends only
    // once the FIFO named by the text has been opened for writing.
    Background = 8,
};

struct Header {
    Product product = Product::Bramwick;
    std::int16_t version = 0;
};

struct Directives {
    InspectBehaviour inspect = InspectBehaviour::Accept;
    std::int16_t inspectResult = 1;
    std::int16_t inspectVersion = 0;
    std::string inspectText; // the error to raise or throw
    TranslateBehaviour translate = TranslateBehaviour::Convert;
    std::string translateText;          // the error to raise or throw, or the FIFO's path
    std::vector<std::string> gridFiles; // grid files the job needs from the GeoData folder
    bool trace = false;                 // write the call's arguments into the Dexmor file as a comment
};

struct Attribute {
    std::string name;
    std::string value;
};

struct Declaration {
    std::string version = "1.0";
    bool hasEncoding = true;     // the converter always writes UTF-8
    std::int8_t standalone = -1; // -1 not given, 0 no, 1 yes
};

// A damaged or cut-short Job file, with the byte offset where reading stopped.
class FormatError : public std::runtime_error {
public:
    FormatError(const std::string &what, std::uint64_t offset)
        : std::runtime_error(what + " at byte " + std::to_string(offset)), m_offset(offset)
    {}
    std::uint64_t offset() const { return m_offset; }

private:
    std::uint64_t m_offset;
};

// Reads a Job file record by record from a stream; never holds more than one record.
class Reader {
public:
    explicit Reader(std::FILE *file) : m_file(file) {}

    // False when the file does not start like a Job file (not an error: it is another format).
    bool readHeader(Header &header);
    // The directives right after the header; stops before the first document record.
    Directives readDirectives();

    struct Record {
        RecordType type = RecordType::End;
        std::string payload;
    };
    // Reads the next record into record, reusing its buffer; throws FormatError when the file is
    // damaged or ends without the End record.
    void next(Record &record);
    std::uint64_t offset() const { return m_offset; }

private:
    bool readBytes(void *data, std::size_t size);
    std::FILE *m_file;
    std::uint64_t m_offset = 0;
    bool m_hasPending = false;
    Record m_pending;
};

// Reads the fields of one record's payload, checking every length against what is left.
class PayloadReader {
public:
    PayloadReader(const std::string &payload, std::uint64_t recordOffset)
        : m_payload(payload), m_recordOffset(recordOffset)
    {}
    std::uint8_t u8();
    std::uint16_t u16();
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::uint32_t u32();
    std::string string() { return std::string(stringView()); }
    // The string in place, valid while the payload is.
    std::string_view stringView();
    // Throws unless the whole payload has been read.
    void finish() const;

private:
    void need(std::size_t size) const;
    const std::string &m_payload;
    std::uint64_t m_recordOffset;
    std::size_t m_position = 0;
};

Declaration parseDeclaration(const Reader::Record &record, std::uint64_t offset);

// An element start read in place: the views point into the record's payload.
struct ElementStartView {
    bool empty = false;
    std::string_view name;
    std::vector<std::pair<std::string_view, std::string_view>> attributes;
};
void parseElementStart(const Reader::Record &record, std::uint64_t offset, ElementStartView &element);

// Writes a Job file to a stream. Errors of the stream are found with ferror by the caller.
class Writer {
public:
    explicit Writer(std::FILE *file) : m_file(file) {}

    void header(const Header &header);
    void directives(const Directives &directives);
    void declaration(const Declaration &declaration);
    void elementStart(const std::string &name, const std::vector<Attribute> &attributes, bool empty);
    void elementEnd();
    void text(const std::string &text);
    void cdata(const std::string &text);
    void comment(const std::string &text);
    void processingInstruction(const std::string &target, const std::string &data);
    void end();

private:
    void record(RecordType type, const std::string &payload);
    std::FILE *m_file;
};

// Appends little-endian fields to a payload.
void putU8(std::string &out, std::uint8_t value);
void putU16(std::string &out, std::uint16_t value);
void putU32(std::string &out, std::uint32_t value);
void putString(std::string &out, const std::string &text);

} // namespace zjob
