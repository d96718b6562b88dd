// The document loader over any bytes, in both white-space modes: it never crashes or leaks, a
// document that loads with its white space kept also loads with it dropped, and both give the
// same text once white space is taken out (dropping it may only remove white space, or put a
// virtual newline where it stood).
#include "FuzzSupport.h"
#include "processor/XmlDocument.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

using namespace zandrel::processor;

namespace {

const XmlDocument &textOfTheDocument(bool preserve)
{
    static XmlDocument sheets[2];
    XmlDocument &sheet = sheets[preserve];
    if (!sheet.isLoaded()) {
        sheet.setPreserveWhiteSpace(preserve);
        const QString path = scratchPath(preserve ? "kept.xsl" : "dropped.xsl");
        writeFile(path, "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
                        "<xsl:output method='text' encoding='UTF-8'/>"
                        "<xsl:template match='/'><xsl:value-of select='.'/></xsl:template></xsl:stylesheet>");
        FUZZ_EXPECT(sheet.load(path));
        QFile::remove(path);
    }
    return sheet;
}

// The document's text value as the processor writes it, white space removed; nullopt when the
// transformation fails (a document can be too large for the memory allowed).
std::optional<QByteArray> textWithoutWhiteSpace(const XmlDocument &document, bool preserve)
{
    const QString path = scratchPath("text");
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_EXPECT(fd >= 0);
    std::optional<QByteArray> text;
    try {
        document.transformNodeToFile(textOfTheDocument(preserve), fd);
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            QByteArray bytes = file.readAll();
            bytes.replace(' ', "").replace('\t', "").replace('\n', "").replace('\r', "");
            text = bytes;
        }
    } catch (const XsltProcessorError &) {
    }
    ::close(fd);
    QFile::remove(path);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = scratchPath("document.xml");
    if (!writeFile(path, bytes))
        return 0;
    XmlDocument kept;
    kept.setPreserveWhiteSpace(true);
    kept.setTransformationMemoryLimit(std::size_t(64) << 20);
    XmlDocument dropped;
    dropped.setTransformationMemoryLimit(std::size_t(64) << 20);
    const bool keptLoads = kept.load(path);
    const bool droppedLoads = dropped.load(path);
    QFile::remove(path);
    if (!keptLoads)
        return 0;
    FUZZ_EXPECT(droppedLoads);
    const std::optional<QByteArray> keptText = textWithoutWhiteSpace(kept, true);
    const std::optional<QByteArray> droppedText = textWithoutWhiteSpace(dropped, false);
    if (keptText && droppedText)
        FUZZ_EXPECT(*keptText == *droppedText);
    return 0;
}
