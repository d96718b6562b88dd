#pragma once

#include "platform/FileDescriptor.h"
#include "processor/XmlDocument.h"
#include "support/TestFiles.h"

#include <QFile>

#include <fcntl.h>

// Transforms into a file and gives what was written. Processor errors leave as they are thrown.
inline QByteArray transformToFile(const zandrel::processor::XmlDocument &source,
                                  const zandrel::processor::XmlDocument &styleSheet, const QString &output)
{
    const zandrel::platform::FileDescriptor file(
        ::open(QFile::encodeName(output).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!file.isOpen())
        return "output not opened";
    source.transformNodeToFile(styleSheet, file.get());
    return readAll(output);
}
