#pragma once
// Writes the Dexmor document that a Job file's records carry. The tool that makes Job files uses
// the same code to check that a Job file gives its Dexmor file back byte for byte.

#include "JobFile.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace zjob {

struct OutputExtras {
    // Written as a comment line right after the declaration when not empty.
    std::string traceComment;
    // Whole lines (without line end) written just before the root element's end tag.
    std::vector<std::string> linesBeforeRootEnd;
    // Asked now and then while writing; false stops the conversion.
    std::function<bool()> keepGoing;
};

enum class OutputResult { Written, Stopped };

// Reads the document records up to the End record and writes the XML to out. Throws
// FormatError when the records are damaged or would not make a well-formed document.
OutputResult writeDexmor(Reader &reader, std::FILE *out, const OutputExtras &extras = {});

// The escaped forms used in the output, exposed for the tool's own checks.
std::string escapeText(const std::string &text);
std::string escapeAttribute(const std::string &value);

} // namespace zjob
