#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace zandrel::platform {

// File names as the system keeps them: bytes, nearly always UTF-8. A byte that is no part of a
// UTF-8 character is kept as the unpaired surrogate U+DC00 + byte, which no character decodes
// to, so that every name makes the round trip through QString; QFile::encodeName and decodeName
// turn such bytes into U+FFFD and lose the file. Every path handed to the system goes through
// nativeFileName, every path the system gives through fileNameFromNative.
QString fileNameFromNative(QByteArrayView native);
QByteArray nativeFileName(QStringView name);

} // namespace zandrel::platform
