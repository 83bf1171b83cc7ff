#ifndef NORVIK_FUZZTARGET_H
#define NORVIK_FUZZTARGET_H

// What the fuzz targets share: the input as bytes or text, files in a folder
// of the process' own, Qt's application object for parsers that need one,
// and the check that turns a broken property into a crash libFuzzer keeps.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace Fuzz
{
/// A copy of the input, so the sanitizers see where it ends.
inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

/// The input as text, as a typed or received line would arrive.
inline QString text(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
}

/// A path in a folder that lives as long as the process; in memory where the
/// machine has it, since the file parsers' inputs are written thousands of times a second.
inline QString path(const QString &name)
{
    static const QTemporaryDir folder(QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/norvik-fuzz-XXXXXX")
                                                                             : QDir::tempPath() + QStringLiteral("/norvik-fuzz-XXXXXX"));
    return folder.filePath(name);
}

inline bool writeFile(const QString &name, const QByteArray &content)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

inline QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// The application object (QCoreApplication or QApplication) the parser needs, made once.
template<typename Application>
void makeApplication()
{
    static int argc = 1;
    static char name[] = "norvik-fuzz";
    static char *argv[] = {name, nullptr};
    static Application application(argc, argv);
}
} // namespace Fuzz

/// A property of the parser that must hold for every input; a crash otherwise.
#define FUZZ_CHECK(condition)                                                                                                                                \
    do {                                                                                                                                                     \
        if (!(condition)) {                                                                                                                                  \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);                                                          \
            std::abort();                                                                                                                                    \
        }                                                                                                                                                    \
    } while (false)

#endif
