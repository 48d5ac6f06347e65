#pragma once

#include "res/ResourceLoader.h"

#include <QFile>
#include <QtEndian>

// The raw bytes of an embedded file and little-endian readers for its headers.
inline QByteArray ResourceFile(int id)
{
    QFile file(ResourceLoader::Path(id));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline quint16 U16(const QByteArray& data, qsizetype at)
{
    return data.size() >= at + 2 ? qFromLittleEndian<quint16>(data.constData() + at) : 0;
}

inline quint32 U32(const QByteArray& data, qsizetype at)
{
    return data.size() >= at + 4 ? qFromLittleEndian<quint32>(data.constData() + at) : 0;
}
