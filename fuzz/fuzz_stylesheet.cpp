// Any bytes as a style sheet, compiled and run over a small job in both white-space modes: the
// processor never crashes or leaks, and a failure is always an error with a message.
#include "FuzzSupport.h"
#include "processor/XmlDocument.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

using namespace zandrel::processor;

namespace {

const XmlDocument &job(bool preserve)
{
    static XmlDocument jobs[2];
    XmlDocument &document = jobs[preserve];
    if (!document.isLoaded()) {
        document.setPreserveWhiteSpace(preserve);
        // A bounded allowance, so that a style sheet that builds an enormous result ends soon.
        document.setTransformationMemoryLimit(std::size_t(64) << 20);
        const QString path = scratchPath(preserve ? "kept.dxm" : "dropped.dxm");
        writeFile(path, "<?xml version='1.0'?>\n<DexmorJob version='1.0'>\n"
                        "  <JobProperties><Name>Fuzz</Name></JobProperties>\n"
                        "  <Points>\n"
                        "    <Point id='1' code='CP'>\n      <N>5432291.45</N>\n      <E>312040.10</E>\n"
                        "      <H>101.25</H>\n    </Point>\n"
                        "    <Point id='2' code='TREE'>\n      <N>5432301.00</N>\n      <E>312050.00</E>\n"
                        "    </Point>\n"
                        "  </Points>\n</DexmorJob>\n");
        FUZZ_EXPECT(document.load(path));
        QFile::remove(path);
    }
    return document;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The length chooses the white-space mode, so that any style sheet file is an input.
    const bool preserve = size & 1;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString sheetPath = scratchPath("sheet.xsl");
    if (!writeFile(sheetPath, bytes))
        return 0;
    XmlDocument styleSheet;
    styleSheet.setPreserveWhiteSpace(preserve);
    const bool loaded = styleSheet.load(sheetPath);
    QFile::remove(sheetPath);
    if (!loaded) {
        FUZZ_EXPECT(!styleSheet.parseError().reason.isEmpty());
        return 0;
    }
    const QString outputPath = scratchPath("output");
    const int fd =
        ::open(QFile::encodeName(outputPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_EXPECT(fd >= 0);
    try {
        job(preserve).transformNodeToFile(styleSheet, fd);
    } catch (const XsltProcessorError &error) {
        FUZZ_EXPECT(!error.messages().isEmpty());
    } catch (const XmlWriteError &error) {
        FUZZ_EXPECT(!error.reason().isEmpty());
    }
    ::close(fd);
    QFile::remove(outputPath);
    return 0;
}
