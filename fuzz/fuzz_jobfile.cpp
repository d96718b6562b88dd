// The stand-in converter's Job file reader: any bytes are read without harm, and whatever it
// writes as a Dexmor document is well-formed XML.
#include "FuzzSupport.h"
#include "DexmorOutput.h"
#include "JobFile.h"

#include <libxml/parser.h>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    std::FILE *input = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    if (!input)
        return 0;
    char *written = nullptr;
    size_t writtenSize = 0;
    std::FILE *output = open_memstream(&written, &writtenSize);
    bool complete = false;
    try {
        zjob::Reader reader(input);
        zjob::Header header;
        if (reader.readHeader(header)) {
            reader.readDirectives();
            complete = zjob::writeDexmor(reader, output) == zjob::OutputResult::Written;
        }
    } catch (const zjob::FormatError &) {
    }
    std::fclose(output);
    std::fclose(input);
    if (complete) {
        xmlDocPtr document = xmlReadMemory(written, int(writtenSize), "job.dxm", nullptr,
                                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
        FUZZ_EXPECT(document != nullptr);
        xmlFreeDoc(document);
    }
    std::free(written);
    return 0;
}
