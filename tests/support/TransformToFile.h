#pragma once

#include "processor/XmlDocument.h"
#include "support/TestFiles.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

// Transforms into a file and gives what was written. Processor errors leave as they are thrown.
inline QByteArray transformToFile(const zandrel::processor::XmlDocument &source,
                                  const zandrel::processor::XmlDocument &styleSheet, const QString &output)
{
    const int fd = ::open(QFile::encodeName(output).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return "output not opened";
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    source.transformNodeToFile(styleSheet, fd);
    return readAll(output);
}
