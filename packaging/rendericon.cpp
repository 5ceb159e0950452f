// Writes the program's icon as PNG files for the icon theme: the drawing at its own size and
// enlarged pixel for pixel, so that the larger icons stay as sharp as the window's.
//   rendericon <drawing> <folder> <name> <size>...   writes <folder>/<size>/<name>.png

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 5) {
        std::fputs("rendericon <dessin> <dossier> <nom> <taille>...\n", stderr);
        return 2;
    }
    const QImage drawing(QString::fromLocal8Bit(argv[1]));
    if (drawing.isNull()) {
        std::fprintf(stderr, "rendericon : image illisible : %s\n", argv[1]);
        return 1;
    }
    for (int i = 4; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0 || size % drawing.width() != 0 || drawing.width() != drawing.height()) {
            std::fprintf(stderr, "rendericon : %s n'est pas un multiple du dessin\n", argv[i]);
            return 1;
        }
        const QString path =
            QStringLiteral("%1/%2/%3.png")
                .arg(QString::fromLocal8Bit(argv[2]), QString::number(size), QString::fromLocal8Bit(argv[3]));
        const QImage icon = drawing.convertToFormat(QImage::Format_ARGB32)
                                .scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (!QDir().mkpath(QFileInfo(path).path()) || !icon.save(path, "PNG")) {
            std::fprintf(stderr, "rendericon : écriture impossible : %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
