#pragma once
// The messages between the program and its converter host, the short-lived helper process that
// loads a converter library and makes one call into it, so that a converter that faults takes
// down only the helper. One request goes in and one answer comes out over descriptor 3.
// Every request starts with the magic, the operation, the program's process id (the helper ends
// when that process does) and the private folder that the helper then removes (may be empty).

#include "ConverterAbi.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace zandrel::converterhost {

static_assert(std::endian::native == std::endian::little, "the converter record is little-endian");

inline constexpr int channelDescriptor = 3;
inline constexpr std::uint32_t requestMagic = 0x3248435A; // "ZCH2"
// No request or answer comes near this; anything larger is a fault.
inline constexpr std::uint32_t maxFieldSize = 1u << 20;

enum class Operation : std::uint8_t { Inspect = 1, Translate = 2 };

enum class Status : std::uint8_t {
    Called = 1,        // the export ran; the answer holds its result and records
    NotLoadable = 2,   // the library could not be loaded
    ExportMissing = 3, // the library lacks the export
    BadRequest = 4,    // the host did not understand the request
    Threw = 5,         // the export threw a C++ exception: its text, empty for an unknown type
};

class Encoder {
public:
    void u8(std::uint8_t value) { m_bytes.push_back(static_cast<char>(value)); }
    void u32(std::uint32_t value) { m_bytes.append(reinterpret_cast<const char *>(&value), sizeof value); }
    void i16(std::int16_t value) { m_bytes.append(reinterpret_cast<const char *>(&value), sizeof value); }
    void field(const std::string &text)
    {
        u32(static_cast<std::uint32_t>(text.size()));
        m_bytes += text;
    }
    void record(const TConverterFileInfo &info)
    {
        m_bytes.append(reinterpret_cast<const char *>(&info), sizeof info);
    }
    const std::string &bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

// Reads what an Encoder wrote; any read past the end makes ok() false and gives zeros.
class Decoder {
public:
    explicit Decoder(const std::string &bytes) : m_bytes(bytes) {}

    std::uint8_t u8()
    {
        std::uint8_t value = 0;
        take(&value, sizeof value);
        return value;
    }
    std::uint32_t u32()
    {
        std::uint32_t value = 0;
        take(&value, sizeof value);
        return value;
    }
    std::int16_t i16()
    {
        std::int16_t value = 0;
        take(&value, sizeof value);
        return value;
    }
    std::string field()
    {
        const std::uint32_t size = u32();
        if (!m_ok || size > maxFieldSize || size > m_bytes.size() - m_position) {
            m_ok = false;
            return {};
        }
        std::string text = m_bytes.substr(m_position, size);
        m_position += size;
        return text;
    }
    TConverterFileInfo record()
    {
        TConverterFileInfo info{};
        take(&info, sizeof info);
        return info;
    }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_position == m_bytes.size(); }

private:
    void take(void *data, std::size_t size)
    {
        if (!m_ok || size > m_bytes.size() - m_position) {
            m_ok = false;
            return;
        }
        std::memcpy(data, m_bytes.data() + m_position, size);
        m_position += size;
    }

    const std::string &m_bytes;
    std::size_t m_position = 0;
    bool m_ok = true;
};

} // namespace zandrel::converterhost
