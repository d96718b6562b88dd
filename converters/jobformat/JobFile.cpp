#include "JobFile.h"

#include <cstring>

namespace zjob {

namespace {

std::uint16_t readU16(const unsigned char *bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t readU32(const unsigned char *bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

bool knownRecordType(std::uint8_t type)
{
    switch (static_cast<RecordType>(type)) {
    case RecordType::Inspect:
    case RecordType::Translate:
    case RecordType::GridFile:
    case RecordType::Trace:
    case RecordType::Declaration:
    case RecordType::ElementStart:
    case RecordType::ElementEnd:
    case RecordType::Text:
    case RecordType::CData:
    case RecordType::Comment:
    case RecordType::ProcessingInstruction:
    case RecordType::End:
        return true;
    }
    return false;
}

} // namespace

bool Reader::readBytes(void *data, std::size_t size)
{
    if (size == 0)
        return true;
    if (std::fread(data, 1, size, m_file) != size)
        return false;
    m_offset += size;
    return true;
}

bool Reader::readHeader(Header &header)
{
    unsigned char bytes[headerSize];
    if (!readBytes(bytes, sizeof bytes) || std::memcmp(bytes, magic, sizeof magic) != 0)
        return false;
    if (readU16(bytes + 4) != formatRevision)
        return false;
    const std::uint16_t product = readU16(bytes + 6);
    if (product > static_cast<std::uint16_t>(Product::Bramwick))
        return false;
    header.product = static_cast<Product>(product);
    header.version = static_cast<std::int16_t>(readU16(bytes + 8));
    return true; // bytes 10 and 11 are reserved
}

void Reader::next(Record &record)
{
    if (m_hasPending) {
        m_hasPending = false;
        std::swap(record, m_pending);
        return;
    }
    const std::uint64_t start = m_offset;
    unsigned char frame[5];
    if (!readBytes(frame, sizeof frame))
        throw FormatError("the job file ends before its end record", start);
    if (!knownRecordType(frame[0]))
        throw FormatError("unknown record type " + std::to_string(frame[0]), start);
    const std::uint32_t size = readU32(frame + 1);
    if (size > maxPayloadSize)
        throw FormatError("a record of " + std::to_string(size) + " bytes is too large", start);
    record.type = static_cast<RecordType>(frame[0]);
    record.payload.resize(size);
    if (!readBytes(record.payload.data(), size))
        throw FormatError("the job file ends inside a record", start);
}

Directives Reader::readDirectives()
{
    Directives directives;
    for (;;) {
        const std::uint64_t start = m_offset;
        Record record;
        next(record);
        if (!isDirective(record.type)) {
            m_pending = std::move(record);
            m_hasPending = true;
            return directives;
        }
        PayloadReader payload(record.payload, start);
        switch (record.type) {
        case RecordType::Inspect: {
            const std::uint8_t behaviour = payload.u8();
            if (behaviour > static_cast<std::uint8_t>(InspectBehaviour::Hang))
                throw FormatError("unknown inspection behaviour", start);
            directives.inspect = static_cast<InspectBehaviour>(behaviour);
            directives.inspectResult = payload.i16();
            directives.inspectVersion = payload.i16();
            directives.inspectText = payload.string();
            break;
        }
        case RecordType::Translate: {
            const std::uint8_t behaviour = payload.u8();
            if (behaviour > static_cast<std::uint8_t>(TranslateBehaviour::Background))
                throw FormatError("unknown conversion behaviour", start);
            directives.translate = static_cast<TranslateBehaviour>(behaviour);
            directives.translateText = payload.string();
            break;
        }
        case RecordType::GridFile:
            directives.gridFiles.push_back(payload.string());
            break;
        case RecordType::Trace:
            directives.trace = true;
            break;
        default:
            break;
        }
        payload.finish();
    }
}

void PayloadReader::need(std::size_t size) const
{
    if (size > m_payload.size() - m_position)
        throw FormatError("a record is shorter than its fields", m_recordOffset);
}

std::uint8_t PayloadReader::u8()
{
    need(1);
    return static_cast<std::uint8_t>(m_payload[m_position++]);
}

std::uint16_t PayloadReader::u16()
{
    need(2);
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_payload.data() + m_position);
    m_position += 2;
    return readU16(bytes);
}

std::uint32_t PayloadReader::u32()
{
    need(4);
    const auto *bytes = reinterpret_cast<const unsigned char *>(m_payload.data() + m_position);
    m_position += 4;
    return readU32(bytes);
}

std::string_view PayloadReader::stringView()
{
    const std::uint32_t size = u32();
    need(size);
    const std::string_view text(m_payload.data() + m_position, size);
    m_position += size;
    return text;
}

void PayloadReader::finish() const
{
    if (m_position != m_payload.size())
        throw FormatError("a record is longer than its fields", m_recordOffset);
}

Declaration parseDeclaration(const Reader::Record &record, std::uint64_t offset)
{
    PayloadReader payload(record.payload, offset);
    Declaration declaration;
    declaration.version = payload.string();
    declaration.hasEncoding = payload.u8() != 0;
    declaration.standalone = static_cast<std::int8_t>(payload.u8());
    payload.finish();
    if (declaration.standalone < -1 || declaration.standalone > 1)
        throw FormatError("a declaration with an unknown standalone value", offset);
    return declaration;
}

void parseElementStart(const Reader::Record &record, std::uint64_t offset, ElementStartView &element)
{
    PayloadReader payload(record.payload, offset);
    element.empty = payload.u8() != 0;
    element.name = payload.stringView();
    const std::uint16_t count = payload.u16();
    element.attributes.clear();
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::string_view name = payload.stringView();
        const std::string_view value = payload.stringView();
        element.attributes.emplace_back(name, value);
    }
    payload.finish();
}

void putU8(std::string &out, std::uint8_t value)
{
    out.push_back(static_cast<char>(value));
}

void putU16(std::string &out, std::uint16_t value)
{
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void putU32(std::string &out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void putString(std::string &out, const std::string &text)
{
    if (text.size() > maxPayloadSize)
        throw std::length_error("a text of the job is too long for a Job file");
    putU32(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

void Writer::record(RecordType type, const std::string &payload)
{
    if (payload.size() > maxPayloadSize)
        throw std::length_error("a node of the job is too large for a Job file");
    std::string frame;
    putU8(frame, static_cast<std::uint8_t>(type));
    putU32(frame, static_cast<std::uint32_t>(payload.size()));
    std::fwrite(frame.data(), 1, frame.size(), m_file);
    std::fwrite(payload.data(), 1, payload.size(), m_file);
}

void Writer::header(const Header &header)
{
    std::string bytes(magic, sizeof magic);
    putU16(bytes, formatRevision);
    putU16(bytes, static_cast<std::uint16_t>(header.product));
    putU16(bytes, static_cast<std::uint16_t>(header.version));
    putU16(bytes, 0);
    std::fwrite(bytes.data(), 1, bytes.size(), m_file);
}

void Writer::directives(const Directives &directives)
{
    if (directives.inspect != InspectBehaviour::Accept) {
        std::string payload;
        putU8(payload, static_cast<std::uint8_t>(directives.inspect));
        putU16(payload, static_cast<std::uint16_t>(directives.inspectResult));
        putU16(payload, static_cast<std::uint16_t>(directives.inspectVersion));
        putString(payload, directives.inspectText);
        record(RecordType::Inspect, payload);
    }
    if (directives.translate != TranslateBehaviour::Convert) {
        std::string payload;
        putU8(payload, static_cast<std::uint8_t>(directives.translate));
        putString(payload, directives.translateText);
        record(RecordType::Translate, payload);
    }
    for (const std::string &gridFile : directives.gridFiles) {
        std::string payload;
        putString(payload, gridFile);
        record(RecordType::GridFile, payload);
    }
    if (directives.trace)
        record(RecordType::Trace, {});
}

void Writer::declaration(const Declaration &declaration)
{
    std::string payload;
    putString(payload, declaration.version);
    putU8(payload, declaration.hasEncoding ? 1 : 0);
    putU8(payload, static_cast<std::uint8_t>(declaration.standalone));
    record(RecordType::Declaration, payload);
}

void Writer::elementStart(const std::string &name, const std::vector<Attribute> &attributes, bool empty)
{
    if (attributes.size() > 0xFFFF)
        throw std::length_error("an element has too many attributes for a Job file");
    std::string payload;
    putU8(payload, empty ? 1 : 0);
    putString(payload, name);
    putU16(payload, static_cast<std::uint16_t>(attributes.size()));
    for (const Attribute &attribute : attributes) {
        putString(payload, attribute.name);
        putString(payload, attribute.value);
    }
    record(RecordType::ElementStart, payload);
}

void Writer::elementEnd()
{
    record(RecordType::ElementEnd, {});
}

void Writer::text(const std::string &text)
{
    record(RecordType::Text, text);
}

void Writer::cdata(const std::string &text)
{
    record(RecordType::CData, text);
}

void Writer::comment(const std::string &text)
{
    record(RecordType::Comment, text);
}

void Writer::processingInstruction(const std::string &target, const std::string &data)
{
    std::string payload;
    putString(payload, target);
    putString(payload, data);
    record(RecordType::ProcessingInstruction, payload);
}

void Writer::end()
{
    record(RecordType::End, {});
}

} // namespace zjob
